// The view's magic wand on a photograph-sized picture: the outline of a large region
// becomes the selection, the same pixels as the connected fill selects.
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "../classlib/test_Controls_fixture.h"
#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/core/hyieutils_mask.h"
#include "imaging/view/vovozidview.h"

namespace ie {
namespace {

using cl::testing_controls::ControlsTest;

class ViewWand : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        form = cl::NewForm<cl::TForm>(cl::Application);
        form->SetBorderStyle(cl::bsNone);
        form->SetBounds(0, 0, 300, 200);
        view = new TVovozIdView(form);
        view->SetBorderStyle(cl::bsNone);
        view->SetParent(form);
        view->SetBounds(0, 0, 200, 150);
        view->SetSelectionBase(iesbBitmap);
    }
    void TearDown() override {
        delete form;
        ControlsTest::TearDown();
    }
    // The selected pixels, row by row.
    std::vector<uint8_t> Selected() {
        TIEMask* m = view->GetSelectionMask();
        std::vector<uint8_t> out(static_cast<size_t>(m->Width) * static_cast<size_t>(m->Height));
        for (int y = 0; y < m->Height; ++y)
            for (int x = 0; x < m->Width; ++x)
                out[static_cast<size_t>(y) * static_cast<size_t>(m->Width) + static_cast<size_t>(x)] =
                    m->IsPointInside(x, y) ? 1 : 0;
        return out;
    }
    cl::TForm* form = nullptr;
    TVovozIdView* view = nullptr;
};

// A 6000 x 4000 landscape: a sky brightening towards the horizon with a little noise, over
// a wavy horizon with some trees, and a noisy green field below.
TEST_F(ViewWand, SkyOfASixMegapixelPhotoIsSelectedByItsOutline) {
    constexpr int W = 6000, H = 4000;
    TIEBitmap* bmp = view->GetIEBitmap();
    bmp->Allocate(W, H, ie24RGB);
    std::mt19937 rnd(3);
    std::vector<int> horizon(W);
    for (int x = 0; x < W; ++x) {
        horizon[x] = 2200 + static_cast<int>(std::lround(180 * std::sin(x / 700.0) + 60 * std::sin(x / 97.0)));
        if (x % 900 > 860) horizon[x] -= 500 + (x % 900 - 860) * 3;  // a tree
    }
    int64_t sky = 0;
    for (int y = 0; y < H; ++y) {
        auto* row = static_cast<uint8_t*>(bmp->GetScanline(y));
        for (int x = 0; x < W; ++x) {
            const int n = static_cast<int>(rnd() % 5) - 2;
            uint8_t* p = row + 3 * x;
            if (y < horizon[x]) {
                const int lift = y * 12 / 2700;  // at most 12 brighter than the top
                p[0] = static_cast<uint8_t>(225 + lift / 2 + n);
                p[1] = static_cast<uint8_t>(150 + lift + n);
                p[2] = static_cast<uint8_t>(95 + lift + n);
                ++sky;
            } else {
                p[0] = static_cast<uint8_t>(40 + n);
                p[1] = static_cast<uint8_t>(140 + n);
                p[2] = static_cast<uint8_t>(60 + n);
            }
        }
    }
    view->Update();
    view->MagicWandTolerance = 15;
    view->MagicWandMode = 1;
    view->SelectMagicWand(3000, 1000, 0);
    ASSERT_TRUE(view->GetSelected());
    const std::vector<uint8_t> filled = Selected();
    int64_t n = 0;
    for (const uint8_t v : filled) n += v;
    EXPECT_EQ(n, sky);

    view->Deselect();
    view->MagicWandMode = 0;
    view->SelectMagicWand(3000, 1000, 0);
    ASSERT_TRUE(view->GetSelected());
    EXPECT_GT(view->GetSelectionRecord()->Points.size(), 8u);
    EXPECT_EQ(Selected(), filled);
}

}  // namespace
}  // namespace ie
