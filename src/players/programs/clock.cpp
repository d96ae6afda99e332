// The clock player: a built show is this program with its package appended.
#include "players/kit/PlayerRuntime.h"

int main(int argc, char** argv) { return tf::players::runPlayer(argc, argv, tf::players::PlayerKind::Clock); }
