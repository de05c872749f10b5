// Minimal writer of FITS primary images, one image at a time. The caller
// writes BITPIX, NAXIS and the axis lengths; the writer supplies SIMPLE, END,
// the blank-card and zero-byte fill to 2880-byte records and the big-endian
// byte order of the pixels. Results: 0 or a pixel count on success, negative
// codes on failure.
#pragma once

#include <cstdint>

int im_open(const char *in_filename, const char *mode);
int im_wkey_i(int fid, int value, const char *keyword);
int im_wkey_d(int fid, double value, const char *keyword);
int im_wkey_c(int fid, const char *ptr, const char *keyword);
int im_wkey_raw(int fid, const char *ptr);
int im_wpix_c(int fid, const unsigned char *buffer, int n_pix);
int im_wpix_s(int fid, const int16_t *buffer, int n_pix);
int im_wpix_i(int fid, const int32_t *buffer, int n_pix);
int im_wpix_r(int fid, const float *buffer, int n_pix);
int im_wpix_d(int fid, const double *buffer, int n_pix);
int im_close(int fid);
