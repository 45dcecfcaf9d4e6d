// SPDX-License-Identifier: Apache-2.0
// The capture writer's C source compiles as C++ too (built, never linked).
#include RIZOROD_WRITER_C
