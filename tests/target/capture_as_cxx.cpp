// The capture writer's C sources compile as C++ too (built, never linked).
#include "target/rizorod_capture.c"
