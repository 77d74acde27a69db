// The JPEG picture class over libjpeg's 6b interface.
#pragma once

#include <memory>
#include <vector>

#include "classlib/Graphics.h"

namespace cl {

// Raised for undecodable data: "JPEG error #%d" with libjpeg's message code.
CL_DECLARE_EXCEPTION(EJPEG, EInvalidGraphic);

enum TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };
enum TJPEGPerformance { jpBestQuality, jpBestSpeed };
enum TJPEGPixelFormat { jf24Bit, jf8Bit };
using TJPEGQualityRange = int;  // 1 .. 100

class TJPEGImage : public TGraphic {
    CL_DECLARE_CLASS(TJPEGImage, TGraphic)
public:
    TJPEGImage();
    ~TJPEGImage() override;
    static TGraphic* Create() { return new TJPEGImage(); }
    TGraphic* NewInstance() const override { return new TJPEGImage(); }

    // Reads from the stream's position to its end and parses the header at once;
    // EJPEG when the data is not a decodable JPEG header.
    void LoadFromStream(TStream* stream) override;
    // Writes the JPEG data; a picture that came from a bitmap is compressed first with
    // CompressionQuality (grey when Grayscale, progressive when ProgressiveEncoding).
    void SaveToStream(TStream* stream) override;
    void Draw(TCanvas* canvas, const TRect& rect) override;
    // From a TJPEGImage: a copy of its data and settings. From a TBitmap: the picture to
    // compress. Null: empty.
    void Assign(TPersistent* Source) override;

    // Decodes the picture now (EJPEG on fatal errors); the bitmap is kept until the data or
    // a decoding setting changes. Grey pictures (or Grayscale) give pf8bit with a grey ramp,
    // jf8Bit gives pf8bit with libjpeg's quantised colour map, colour gives bottom-up pf24bit.
    void DIBNeeded();
    // Compresses the held bitmap when there is no JPEG data.
    void JPEGNeeded();
    // The decoded picture (decoding it when needed).
    TBitmap* Bitmap();
    // Compresses the held bitmap again (with the current quality).
    void Compress() {
        if (!bitmap_ || bitmapFromData_) return;
        data_.clear();
        JPEGNeeded();
    }

    int CompressionQuality() const { return quality_; }
    void SetCompressionQuality(int q);
    bool Grayscale() const { return grayscale_; }
    void SetGrayscale(bool v);
    TJPEGScale Scale() const { return scale_; }
    void SetScale(TJPEGScale v);
    TJPEGPerformance Performance() const { return performance_; }
    void SetPerformance(TJPEGPerformance v);
    TJPEGPixelFormat PixelFormat() const { return pixelFormat_; }
    void SetPixelFormat(TJPEGPixelFormat v);
    // Incremental display while loading; the finished picture is the same either way.
    bool ProgressiveDisplay() const { return progressiveDisplay_; }
    void SetProgressiveDisplay(bool v) { progressiveDisplay_ = v; }
    // Block smoothing of the partial passes of a progressive display.
    bool Smoothing() const { return smoothing_; }
    void SetSmoothing(bool v) { smoothing_ = v; }
    bool ProgressiveEncoding() const { return progressiveEncoding_; }
    void SetProgressiveEncoding(bool v);
    // Number of warnings (corrupt or premature end of data) from the last decoding.
    int Warnings() const { return warnings_; }

    // The raw JPEG data (empty when the picture came from a bitmap and was not compressed).
    const std::vector<uint8_t>& Data() const { return data_; }

protected:
    int GetWidth() const override;
    int GetHeight() const override;
    void SetWidthImpl(int) override;
    void SetHeightImpl(int) override;
    bool GetEmpty() const override { return data_.empty() && !bitmap_; }
    win::HPALETTE GetPalette() override;
    void AssignTo(TPersistent* Dest) override;

private:
    void FreeBitmap();
    void SettingChanged();
    std::vector<uint8_t> data_;
    std::unique_ptr<TBitmap> bitmap_;
    bool bitmapFromData_ = false;  // bitmap_ is the decoded data_ (else the source of data_)
    int width_ = 0, height_ = 0;   // full size, from the header
    bool grey_ = false;            // one-component file
    int quality_ = 90;
    bool grayscale_ = false;
    TJPEGScale scale_ = jsFullSize;
    TJPEGPerformance performance_ = jpBestQuality;
    TJPEGPixelFormat pixelFormat_ = jf24Bit;
    bool progressiveDisplay_ = false;
    bool smoothing_ = false;
    bool progressiveEncoding_ = false;
    int warnings_ = 0;
};

}  // namespace cl
