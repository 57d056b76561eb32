// Filling a container from a stored value part, in copy or wrap mode.
#include "eqdata_fill.h"

#include "eqdata_stored.h"

namespace bridge_detail {

int fill_in(EqData* data, unsigned char* value, uint64_t avail, bool copy) {
  if (data == nullptr || value == nullptr) return KOVA_EQDATA_ERR_INVAL_PARAM;
  EqDataBlock* b = data->get_data_block();
  const int32_t type = b->data_type;
  const Layout l = layout_of(type);
  if (int rc = refusal(l.shape)) return rc;
  In in(value, avail);
  return copy ? copy_in(data, type, l, in) : wrap_in(b, l, in);
}

}  // namespace bridge_detail

int kova_fill_in_eqdata(EqData* data, char* bdata, bool copy) {
  // No bound comes with the value part: it is trusted to be complete.
  return bridge_detail::fill_in(data, reinterpret_cast<unsigned char*>(bdata), UINT64_MAX / 2,
                                copy);
}
