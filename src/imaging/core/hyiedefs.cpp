#include "imaging/core/hyiedefs.h"

namespace ie {

int32_t IEGrayWeightRed = 21;
int32_t IEGrayWeightGreen = 71;
int32_t IEGrayWeightBlue = 8;
uint8_t IEPreviewBackground = 0;

void HyieDefsStaticInit() {
    IEGrayWeightRed = 21;
    IEGrayWeightGreen = 71;
    IEGrayWeightBlue = 8;
    IEPreviewBackground = 0;
}

void HyieDefsStaticFinal() {}

}  // namespace ie
