// Placeholder: the image writer is being written.
#include "libim.h"
int im_open(const char *, const char *) { return -2; }
int im_wkey_i(int, int, const char *) { return -3; }
int im_wkey_d(int, double, const char *) { return -3; }
int im_wkey_c(int, const char *, const char *) { return -3; }
int im_wkey_raw(int, const char *) { return -3; }
int im_wpix_c(int, const unsigned char *, int) { return -3; }
int im_wpix_s(int, const int16_t *, int) { return -3; }
int im_wpix_i(int, const int32_t *, int) { return -3; }
int im_wpix_r(int, const float *, int) { return -3; }
int im_wpix_d(int, const double *, int) { return -3; }
int im_close(int) { return -3; }
