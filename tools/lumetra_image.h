// lumetra-image: the imaging library's input/output engine from the command line.
//   lumetra-image info FILE [--page N]
//   lumetra-image convert IN OUT [--page N] [--quality Q] [--compression C] [--type EXT]
//   lumetra-image formats
//   lumetra-image --help
// Options may stand anywhere on the line. Errors name the file and the reason and end with
// a non-zero status (1 for a file that cannot be read or written, 2 for a usage error).
// OUT is written under a temporary name beside it and renamed only when complete; a new
// OUT gets the mode the umask allows, an existing one keeps its mode.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace lumetra_image {

// Runs the tool on Args (without the program name); messages go to Out and Err. The
// imaging library must have been started. Returns the exit status.
int Run(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);

}  // namespace lumetra_image
