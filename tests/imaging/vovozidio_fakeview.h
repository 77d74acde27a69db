// A fake image view for the input/output component's tests.
#pragma once

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/io/vovozidio.h"

namespace ie::test {

// A view that records what the component asks of it.
class FakeView : public TIEIOViewLink {
public:
    cl::TComponent Component{nullptr};
    TIEBitmap Bitmap;
    int Updates = 0, Changes = 0, Registered = 0;
    TBitmapChangeEvent Event;
    cl::TColor Background = 0x123456;
    win::HWND Handle = nullptr;
    cl::TComponent* ViewComponent() override { return &Component; }
    cl::TBitmap* GetBitmap() override { return nullptr; }
    TIEBitmap* GetIEBitmap() override { return &Bitmap; }
    void* RegisterBitmapChangeEvent(TBitmapChangeEvent E) override {
        Event = std::move(E);
        ++Registered;
        return this;
    }
    void RemoveBitmapChangeEvent(void* Handle) override {
        if (Handle == this) {
            Event = nullptr;
            --Registered;
        }
    }
    void Update() override { ++Updates; }
    void ImageChange() override { ++Changes; }
    int32_t GetDpiX() override { return 96; }
    int32_t GetDpiY() override { return 120; }
    void SetDpi(int32_t, int32_t) override {}
    void SetDpiX(int32_t) override {}
    void SetDpiY(int32_t) override {}
    cl::TColor GetBackground() override { return Background; }
    bool HasParentControl() override { return false; }
    void MakeViewHandle() override {}
    win::HWND ViewHandle() override { return Handle; }
};

}  // namespace ie::test
