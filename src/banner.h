// banner: the credits printed to standard output when the show ends.
#pragma once

// Prints the ASCII-art banner from the datafile, then the four credit lines. Must run while
// the datafile is still mounted.
void banner_show(void);
