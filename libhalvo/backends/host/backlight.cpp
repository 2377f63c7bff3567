#include "backlight.h"

#include "../../status.h"

#include <algorithm>
#include <climits>
#include <tuple>

namespace halvo::host
{

namespace
{

int rank(const std::string &type)
{
    return type == "firmware" ? 0 : type == "platform" ? 1 : type == "raw" ? 2 : 3;
}

} // namespace

Backlight::Backlight(const Root &root, const Settings &settings) : root_(root), settings_(settings)
{
    (void)settings_;
}

Backlight::~Backlight() = default;

const std::vector<std::string> &Backlight::displays()
{
    if (!found_) {
        found_ = true;
        std::vector<std::pair<int, std::string>> ranked;
        for (const std::string &name : root_.list("/sys/class/backlight"))
            ranked.emplace_back(rank(root_.text("/sys/class/backlight/" + name + "/type")), name);
        std::sort(ranked.begin(), ranked.end());
        for (const auto &[r, name] : ranked)
            dirs_.push_back("/sys/class/backlight/" + name);
    }
    return dirs_;
}

int32_t Backlight::find(int32_t display, std::string &dir)
{
    const std::vector<std::string> &all = displays();
    if (all.empty())
        return unsupported();
    if (display < 0 || static_cast<size_t>(display) >= all.size())
        return badArgument(kOutOfRange);
    dir = all[static_cast<size_t>(display)];
    return HALVO_STATUS_OK;
}

int32_t Backlight::readMax(const std::string &dir, int64_t &max) const
{
    if (const int32_t status = root_.readInt(dir + "/max_brightness", max); status != HALVO_STATUS_OK)
        return status;
    // A driver without levels cannot be set to any of them. Real maxima are
    // at most a few million; the cap keeps the arithmetic far from overflow.
    max = std::min<int64_t>(max, INT32_MAX);
    return max > 0 ? HALVO_STATUS_OK : fail(HALVO_CLASS_DEVICE, kBadValue);
}

int32_t Backlight::getDisplayCount(int32_t &count)
{
    count = clampInt32(static_cast<int64_t>(displays().size()));
    return HALVO_STATUS_OK;
}

int32_t Backlight::getBacklightValue(int32_t display, int32_t &value)
{
    std::string dir;
    int64_t max = 0, level = 0;
    if (const int32_t status = find(display, dir); status != HALVO_STATUS_OK)
        return status;
    if (const int32_t status = readMax(dir, max); status != HALVO_STATUS_OK)
        return status;
    if (const int32_t status = root_.readInt(dir + "/brightness", level); status != HALVO_STATUS_OK)
        return status;
    level = std::clamp<int64_t>(level, 0, max);
    value = static_cast<int32_t>((level * 100 + max / 2) / max);
    return HALVO_STATUS_OK;
}

int32_t Backlight::setBacklightValue(int32_t display, int32_t value)
{
    std::string dir;
    int64_t max = 0;
    if (const int32_t status = find(display, dir); status != HALVO_STATUS_OK)
        return status;
    if (value < 0 || value > 100)
        return badArgument(kOutOfRange);
    if (const int32_t status = readMax(dir, max); status != HALVO_STATUS_OK)
        return status;
    return root_.write(dir + "/brightness", std::to_string((value * max + 50) / 100));
}

} // namespace halvo::host
