#pragma once
// Helper programs of ours (the decoder, the scanner program) run as children that talk over a
// socket: this starts one the same way for every caller.
#include <functional>
#include <sys/types.h>

namespace tf {

// Starts argv[0] with argv (null-terminated) and one end of a new socket pair as its standard
// input: its signals unblocked and at their defaults, and no other descriptor of ours, so a child
// never holds another child's socket open past that one's death. `around` runs the start it is
// given and returns its result (a caller may hold a lock around it, or refuse with an errno of its
// own); without it the start just runs. 0 with our end in *socket and the child in *pid, else the
// error number (nothing is left open).
int spawnOnSocket(char* const argv[], int* socket, pid_t* pid,
                  const std::function<int(const std::function<int()>& start)>& around = {});

} // namespace tf
