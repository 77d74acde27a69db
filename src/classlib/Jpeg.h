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
    TBitmap* GetBitmap();
    // Compresses the held bitmap again (with the current quality).
    void Compress() {
        if (!FBitmap || FBitmapFromData) return;
        FData.clear();
        JPEGNeeded();
    }

    int GetCompressionQuality() const { return FQuality; }
    void SetCompressionQuality(int q);
    bool GetGrayscale() const { return FGrayscale; }
    void SetGrayscale(bool v);
    TJPEGScale GetScale() const { return FScale; }
    void SetScale(TJPEGScale v);
    TJPEGPerformance GetPerformance() const { return FPerformance; }
    void SetPerformance(TJPEGPerformance v);
    TJPEGPixelFormat GetPixelFormat() const { return FPixelFormat; }
    void SetPixelFormat(TJPEGPixelFormat v);
    // Incremental display while loading; the finished picture is the same either way.
    bool ProgressiveDisplay = false;
    // Block smoothing of the partial passes of a progressive display.
    bool Smoothing = false;
    bool GetProgressiveEncoding() const { return FProgressiveEncoding; }
    void SetProgressiveEncoding(bool v);
    // Number of warnings (corrupt or premature end of data) from the last decoding.
    int GetWarnings() const { return FWarnings; }

    // The raw JPEG data (empty when the picture came from a bitmap and was not compressed).
    const std::vector<uint8_t>& Data() const { return FData; }

    int GetWidth() const override;
    int GetHeight() const override;
    void SetWidth(int) override;
    void SetHeight(int) override;
    bool GetEmpty() const override { return FData.empty() && !FBitmap; }
    win::HPALETTE GetPalette() override;

protected:
    void AssignTo(TPersistent* Dest) override;

private:
    void FreeBitmap();
    void SettingChanged();
    std::vector<uint8_t> FData;
    std::unique_ptr<TBitmap> FBitmap;
    bool FBitmapFromData = false;  // FBitmap is the decoded FData (else the source of FData)
    int FWidth = 0, FHeight = 0;   // full size, from the header
    bool FGrey = false;            // one-component file
    int FQuality = 90;
    bool FGrayscale = false;
    TJPEGScale FScale = jsFullSize;
    TJPEGPerformance FPerformance = jpBestQuality;
    TJPEGPixelFormat FPixelFormat = jf24Bit;
    bool FProgressiveEncoding = false;
    int FWarnings = 0;
};

}  // namespace cl
