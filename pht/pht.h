// Entry points of the qrpht program and of its product listings.
#pragma once

// The whole program behind main(): options, input, listing, images.
// Returns the exit status.
int qrpht_main(int argc, char **argv);

// The listing of the product at filename, written to outfile, as the
// program writes it (mode 0 the normal listing, 1 the verbose one; readpls
// also writes the images named from im_file when it is not null). Each
// returns the exit status; any product type is listed as its own family.
int readpca(const char *filename, int mode, const char *outfile);
int readppa(const char *filename, int mode, const char *outfile);
int readpls(const char *filename, int mode, const char *outfile, const char *im_file);
