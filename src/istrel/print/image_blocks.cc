// Image heads, ROI parameters, ROI statistics and sample axes, and the
// statistics records of 2010 spectra.
#include <cstdio>

#include "print_internal.h"

namespace print_detail {

// The 2009 head packs width and x start, height and y start, and bytes per
// pixel with the vertical (bits 4-17) and horizontal (bits 18-31) binning.
void print_image_head(const char* type_name, const unsigned char* im) {
  const auto h = load<kova_image_frame_head>(im);
  printf(
      "%s: width:%d(xstart:%d)\theight:%d(ystart:%d)\tbpp:%d(xbin:%d ybin:%d)\tcompr:%d\tframe:%"
      "d\tev#:%ld\tlen:%d\n",
      type_name, h.w & 0xFFFF, (h.w >> 16) & 0xFFFF, h.h & 0xFFFF, (h.h >> 16) & 0xFFFF, h.bpp & 15,
      (h.bpp >> 18) & 0x3FFF, (h.bpp >> 4) & 0x3FFF, h.compr & 0xFFFF, static_cast<int>(h.frame),
      static_cast<long>(h.event_nm), h.length);
}

void print_image_ext_head(const char* type_name, const unsigned char* im) {
  const auto h = load<kova_image_ext_frame_head>(im);
  printf(
      "%s: width:%d(xstart:%d, aoi_width:%d)\theight:%d(ystart:%d aoi_height:%d)\tbpp:%d(xbin:%d "
      "ybin:%d ebit:%d)\ts_format:%d\ti_format:%d\tframe:%d\tev#:%d\tlen:%d\n",
      type_name, h.width, h.x_start, h.aoi_width, h.height, h.y_start, h.aoi_height, h.bpp, h.hbin,
      h.vbin, h.ebitpp, h.source_format, h.image_format, static_cast<int>(h.frame),
      static_cast<int>(h.event), h.length);
  printf(
      "%s scale_x:%f\tscale_y:%f\trotation:%f\tflags:0x%X\tfspares:(%f %f %f) \tispares:(%d %d "
      "%d)\n",
      type_name, static_cast<double>(h.scale_x), static_cast<double>(h.scale_y),
      static_cast<double>(h.image_rotation), h.image_flags, static_cast<double>(h.fspare2),
      static_cast<double>(h.fspare3), static_cast<double>(h.fspare4), h.ispare2, h.ispare3,
      h.ispare4);
}

void print_statistics(const unsigned char* stats, int n, const std::vector<std::string>& names) {
  printf("Statistics:\n");
  for (int k = 0; k < n; ++k) {
    const auto s = load<kova_spect_statistics_2010>(stats + k * sizeof(kova_spect_statistics_2010));
    printf("Chan: %s:\n", names[k].c_str());
    for (int j = 0; j < KOVA_STAT_ENTRIES_2010; ++j) {
      if (s.mask & (1u << j))
        printf("%s:%f\t", get_stat_name_2010(j), static_cast<double>(s.val[j]));
      else
        printf("%s: not set\t", get_stat_name_2010(j));
    }
    printf("\n");
  }
}

}  // namespace print_detail

using namespace print_detail;

namespace {

void print_spect_axis(int k, const kova_roi_spect& s) {
  printf("Spect%d prm: start:%f inc:%f ndata:%d\n", k, static_cast<double>(s.start),
         static_cast<double>(s.inc), s.ndata);
}

void print_prm(const float* prm) {
  for (int i = 0; i < 8; ++i) printf("prm[%d]: %f\t", i, static_cast<double>(prm[i]));
  printf("\n");
}

}  // namespace

extern "C" {

void print_image_header(kova_image_frame_head* im) {
  if (im != nullptr)
    print_image_head(block_name_itoa(KOVA_BLOCK_IMAGE), reinterpret_cast<unsigned char*>(im));
}

void print_image_ext_header(kova_image_ext_frame_head* im) {
  if (im != nullptr)
    print_image_ext_head(block_name_itoa(KOVA_BLOCK_IMAGE_EXT),
                         reinterpret_cast<unsigned char*>(im));
}

void print_roi_params(kova_image_roi_param* r) {
  if (r == nullptr) return;
  printf("ROI parameters:\n");
  printf(
      "Image: %d(%d)x%d(%d)_%d(%dx%d)\t FLAG:%d\t ROI:XO_YO_HS_VS_ANG_CW_CS %d_%d_%d_%d_%f_%d_%d\n",
      r->w & 0xFFFF, (r->w >> 16) & 0xFFFF, r->h & 0xFFFF, (r->h >> 16) & 0xFFFF, r->bpp & 15,
      (r->bpp >> 18) & 0x3FFF, (r->bpp >> 4) & 0x3FFF, static_cast<int>(r->flag), r->x0, r->y0,
      r->hs, r->vs, static_cast<double>(r->angle), r->cw, r->cs);
  print_prm(r->prm);
}

void print_roi_channel(zel_image_roi_channel* r) {
  if (r == nullptr) return;
  printf("ROI channel statistics:\n");
  printf(
      "Mean: %f\tMax:%f\tCofm:%f\tSig:%f\tPOLYV: I_F_F_F %d_%f_%f_%f\tPOLYS: I_F_F_F "
      "%d_%f_%f_%f\n",
      static_cast<double>(r->mean), static_cast<double>(r->max), static_cast<double>(r->cofm),
      static_cast<double>(r->sig), r->pv.i1_data, static_cast<double>(r->pv.f1_data),
      static_cast<double>(r->pv.f2_data), static_cast<double>(r->pv.f3_data), r->ps.i1_data,
      static_cast<double>(r->ps.f1_data), static_cast<double>(r->ps.f2_data),
      static_cast<double>(r->ps.f3_data));
  print_prm(r->prm);
}

void print_roi_stats1(kova_image_roi1* roi) {
  if (roi == nullptr) return;
  print_spect_axis(1, roi->spect1);
}

void print_roi_stats2(kova_image_roi2* roi) {
  if (roi == nullptr) return;
  print_spect_axis(1, roi->spect1);
  print_spect_axis(2, roi->spect2);
}

void print_roi_stats3(kova_image_roi3* roi) {
  if (roi == nullptr) return;
  print_spect_axis(1, roi->spect1);
  print_spect_axis(2, roi->spect2);
  print_spect_axis(3, roi->spect3);
}

void print_stats_value_2010(kova_spect_statistics_2010* stats, int dtype) {
  if (stats == nullptr) return;
  const int n = channel_detail::table_channels(dtype & KOVA_DTYPE_MASK);
  std::vector<std::string> names;
  for (int k = 0; k < (n > 0 ? n : 1); ++k) names.push_back(get_chan_name(dtype, k));
  print_statistics(reinterpret_cast<unsigned char*>(stats), static_cast<int>(names.size()), names);
}

}  // extern "C"
