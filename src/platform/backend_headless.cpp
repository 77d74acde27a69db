// The headless backend: nothing is shown; the screen exists only as the composite in
// memory (captured to PNG files and read by tests), and input comes from scripts.
#include <algorithm>

#include "platform/display.h"

namespace win::display {

namespace {

class HeadlessBackend : public Backend {
public:
    HeadlessBackend(int w, int h) : w_(w), h_(h) {}
    const char* Name() const override { return "headless"; }
    int Width() const override { return w_; }
    int Height() const override { return h_; }

private:
    int w_, h_;
};

}  // namespace

std::unique_ptr<Backend> MakeHeadlessBackend(int width, int height) {
    return std::make_unique<HeadlessBackend>(std::max(1, width), std::max(1, height));
}

}  // namespace win::display
