// Table file library: numbered table units over FITS binary tables and QELT
// ASCII tables. Every call reports through one module-wide status, read back
// with itstat() (0 success, 1 error, -1 no data) and t_error() (the text of
// the last failure). The library never ends the program.
#pragma once

#include <cstdint>

constexpr int MAXFIELDS = 150;
constexpr int MAXWIDTH  = 5000;

void        topenr(int unit, const char *filename, int *nparms);
void        topenw(int unit, const char *filename);
void        tcls(int unit);
int         itstat();
const char *t_error();
int         tgettyp(int unit);
void        tget_primary(int unit, const char **adr, int *bytes);
void        tget_extension(int unit, const char **adr, int *bytes);

int         tblread(int unit);
void        tseek(int unit, int recno);
void        tindp(int unit, const char *fieldname, int *pindex);
void        tgeti(int unit, int pindex, int *pvali);
void        tgetr(int unit, int pindex, float *pvalf);
void        tgetd(int unit, int pindex, double *pval_d);
void        tgetc(int unit, int pindex, char *pvalc);
void        tpinfo(int unit, int pindex, char *pname, char *ptype, char *pblank,
                   char *punit, double *pscale, double *poffs, int *pcol,
                   int *plen, int *pelements);
int         tgetrowcount(int unit);
void        t_rkey_c(int unit, char *c_ptr, const char *keyword);
void        t_rkey_i(int unit, int *i_ptr, const char *keyword);
void        t_rkey_d(int unit, double *d_ptr, const char *keyword);
void        t_rkey_r(int unit, float *f_ptr, const char *keyword);
void        tfiltyp(int unit, int newtype);

// The system error number behind the last failure (a file that could not be
// opened, written or closed); 0 after a success or a failure of another
// kind. t_error() holds the same failure as text.
int         t_errno();

// tgeti, tgetr and tgetd limited to the first max_elements elements of the
// field: a column with more elements than the caller's record field fills
// that field only, and the rest is neither converted nor stored.
void        tgeti_max(int unit, int pindex, int *pvali, int max_elements);
void        tgetr_max(int unit, int pindex, float *pvalf, int max_elements);
void        tgetd_max(int unit, int pindex, double *pval_d, int max_elements);

void        tblwrit_raw(int unit, const char *string);
void        tnewp(int unit, const char *pname, const char *ptype, const char *pblank,
                  const char *punit, double pscal, double poff, const char *pfmt,
                  int plen, int *pindex);
void        tsetc(int unit, int col, const char *string);
void        tseti(int unit, int col, int integer);
void        tsetr(int unit, int col, double real);
void        tblwrit(int unit);
void        tlink(int unit_in, int unit_out);
void        tgetaddr(int unit, int pindex, char **adr);
