// Placeholder: the coordinate routines are being written.
#include "coord.h"
int c_status = 0;
const char *c_msg[12] = {};
int c_setprecision(int p) { return p; }
void c_ddsex(double, int, int, char *buf) { buf[0] = 0; }
int c_nint(double) { return 0; }
int c_blockhdms(int) { return 0; }
int c_coord(const char *, int, int, char *, int *, double *) { return -1; }
char c_separator(char c) { return c; }
int c_convertblock(const char *, double *, double *, double *) { return -1; }
int c_sys(const char *, char) { return -1; }
int c_strncasecmp(const char *, const char *, int) { return 0; }
