#include "platform/display.h"

namespace win::display {

std::unique_ptr<Backend> MakeSdlBackend() { return nullptr; }

}  // namespace win::display
