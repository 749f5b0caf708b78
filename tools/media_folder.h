// Where `tuuli play` and `tuuli capture` run the demo when no --dir is given:
// the current folder when it holds the demo's files, else the installed pack.
#pragma once

#include <string>
#include <vector>

namespace tools {

// True when `dir` holds every file the demo cannot start without, found as
// the demo finds them (ignoring case when the exact name is absent). The
// soundtrack is optional, as it is to the demo.
bool holds_demo_files(const std::string& dir);

// Where an installed pack may be, best first: beside the executable
// (<exe dir>/../share/tuulikannel/media, so a staged or moved install finds
// its own pack), then where this build installs it.
std::vector<std::string> installed_pack_candidates();

// The folder to run in, said on standard error with `command` ("play") in
// front. When neither the current folder nor an installed pack holds the
// files it is the current folder, where the demo reports what is missing.
std::string default_media_folder(const char* command);

}  // namespace tools
