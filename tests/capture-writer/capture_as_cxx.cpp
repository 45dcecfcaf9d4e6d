// The capture writer's C sources compile as C++ too (built, never linked).
#include "capture-writer/rizorod_capture.c"
