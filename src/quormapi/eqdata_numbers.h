// Locating and converting the numbers a value holds; shared by the number
// readers and the text forms.
#ifndef HESK_QUORMAPI_EQDATA_NUMBERS_H
#define HESK_QUORMAPI_EQDATA_NUMBERS_H

#include "eqdata.h"
#include "type_table.h"

// Number `i` of the value (scalar, numeric array element, byte, sample) and
// its type in `num`; null when there is none.
const void* eq_number_at(const EqData& d, int i, EqNum* num);

// The number at `p` (any alignment) converted.
double eq_load_double(const void* p, EqNum num);
long eq_load_long(const void* p, EqNum num);

#endif  // HESK_QUORMAPI_EQDATA_NUMBERS_H
