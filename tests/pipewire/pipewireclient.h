#pragma once

#include "capture/dshow.h"

#include <QStringList>

// Another PipeWire client for the tests, run as a process of its own: streams a node in
// the format it already runs at and prints how many frames it got.
namespace pipewireclient {

QStringList arguments(const QString& node, dshow::Subtype subtype, int width, int height, int ms);
// The client's main when `args` (the program's, without its name) ask for it; -1 otherwise.
int run(const QStringList& args);
// What a desktop session has, which WirePlumber wants (a user, a machine id, logind's
// folders, a session bus): outside one, runs the program again inside one and does not
// return unless that fails (1); inside one, or as the client, returns -1.
int enterSession(int argc, char** argv, const char* functionTimeoutMs);

} // namespace pipewireclient
