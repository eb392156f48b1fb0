#include "installer/engine/percent.h"

#include <algorithm>
#include <limits>

namespace installer {

namespace {
constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
}  // namespace

int32_t CountPercent(int64_t done, int64_t total) {
    if (total <= 0) return 0;
    return static_cast<int32_t>(std::clamp(done * 100 / total, kMin, kMax));
}

int32_t BytePercent(double done, double total) {
    if (!(total > 0.0)) return 0;
    const double percent = done / total * 100.0;
    if (!(percent == percent)) return 0;  // NaN
    return static_cast<int32_t>(std::clamp(percent, static_cast<double>(kMin), static_cast<double>(kMax)));
}

}  // namespace installer
