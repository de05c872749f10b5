// Coordinate routines: angles formatted as sexagesimal text, and typed
// coordinates parsed and checked. Module-wide state (precision, block form,
// c_status) makes these routines non-reentrant.
#pragma once

extern int         c_status;
extern const char *c_msg[12];

int  c_setprecision(int p);
void c_ddsex(double dangle, int form, int islat, char *buf);
int  c_nint(double x);
int  c_blockhdms(int flag);
int  c_coord(const char *coord, int islat, int isequ, char *buf, int *isdec,
             double *dangle);
char c_separator(char c);
int  c_convertblock(const char *c, double *dh, double *m, double *s);
int  c_sys(const char *csys, char equx);
int  c_strncasecmp(const char *a, const char *b, int n);
