#pragma once

#include <gtest/gtest.h>

// A test skips only for what the machine itself cannot offer (a POSIX device
// under wine, room on the disk), and says so with this prefix. The check of a
// fresh machine fails on any skip without it, so a test that lacks a tool
// fails instead of passing quietly as skipped.
#define QUILLON_SKIP_ON_THIS_MACHINE GTEST_SKIP() << "not on this machine: "
