#include "imaging/core/hyieutils_budget.h"

#include <algorithm>

#include "imaging/core/hyieutils_checked.h"

namespace ie {

int64_t IEReaderPixelBudget = IEDefaultReaderPixelBudget;

namespace {

// Reads in progress on this thread, and the tightest scope limit among them (0: none).
thread_local int32_t tReadDepth = 0;
thread_local int64_t tScopeLimit = 0;

}  // namespace

TIEReaderBudgetScope::TIEReaderBudgetScope(int64_t Limit) : FSavedLimit(tScopeLimit) {
    ++tReadDepth;
    if (Limit > 0) tScopeLimit = tScopeLimit > 0 ? std::min(tScopeLimit, Limit) : Limit;
}

TIEReaderBudgetScope::~TIEReaderBudgetScope() {
    --tReadDepth;
    tScopeLimit = FSavedLimit;
}

int64_t IEReaderPixelBudgetNow() {
    if (tReadDepth <= 0) return 0;
    const int64_t global = IEReaderPixelBudget;
    if (global <= 0) return tScopeLimit;
    return tScopeLimit > 0 ? std::min(global, tScopeLimit) : global;
}

bool IEReaderPixelsAllowed(int64_t Width, int64_t Height) {
    const int64_t budget = IEReaderPixelBudgetNow();
    if (budget <= 0) return true;
    const auto pixels = IECheckedMul(Width, Height);
    return pixels && *pixels <= budget;
}

}  // namespace ie
