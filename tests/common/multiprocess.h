// Multi-process test helpers.
//
// A test binary re-executes itself as a child with --child=NAME; main() runs
// the child function registered under NAME instead of the tests and exits with
// its result. Children report by exit code (0 = pass, a distinct code per
// failed check) and stderr; parents assert the code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/process.h"

namespace ztn::test {

using ChildArgs = std::vector<std::string>;
using ChildFunction = int (*)(const ChildArgs& args);

struct ChildRegistrar {
  ChildRegistrar(const char* name, ChildFunction function);
};

// Runs the child named by --child=NAME in argv, if any. Returns true and sets
// *exitCode when argv named a child.
bool RunChildIfRequested(int argc, char** argv, int* exitCode);

// Starts this test binary as the child `name` with `args`.
platform::Process SpawnChild(const std::string& name, const ChildArgs& args = {});

// Waits at most timeoutMs for the child; returns its exit code, 128 + signal
// number when it was killed, or -1 on timeout (the child is then killed).
int WaitChild(platform::Process& child, int32_t timeoutMs = 10000);

// A name no other test or process uses: stem, process id and a counter.
std::u16string UniqueName(const std::string& stem);

}  // namespace ztn::test

// Defines a child function: ZTN_CHILD(Name) { ... return 0; }
#define ZTN_CHILD(name)                                                        \
  static int ZtnChild_##name(const ::ztn::test::ChildArgs& args);              \
  static ::ztn::test::ChildRegistrar ztnChildRegistrar_##name(#name, &ZtnChild_##name); \
  static int ZtnChild_##name([[maybe_unused]] const ::ztn::test::ChildArgs& args)
