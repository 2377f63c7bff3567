#include "gpio.h"

#include "../../status.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace halvo::host
{

namespace
{

// Offsets as the settings write them: decimal, at most four digits.
bool parseOffset(const std::string &text, unsigned &out)
{
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10));
    return true;
}

// "0-7,9" into offsets; false on any malformed item.
bool parseOffsets(const std::string &list, std::vector<unsigned> &out)
{
    std::istringstream items(list);
    std::string item;
    while (std::getline(items, item, ',')) {
        const size_t dash = item.find('-');
        unsigned first, last;
        if (dash == std::string::npos) {
            if (!parseOffset(item, first))
                return false;
            last = first;
        } else if (!parseOffset(item.substr(0, dash), first) || !parseOffset(item.substr(dash + 1), last) ||
                   last < first) {
            return false;
        }
        for (unsigned o = first; o <= last; ++o)
            out.push_back(o);
    }
    return !out.empty() && list.back() != ',';
}

bool isChipName(const std::string &name)
{
    return name.size() > 8 && name.size() <= 16 && name.compare(0, 8, "gpiochip") == 0 &&
           name.find_first_not_of("0123456789", 8) == std::string::npos;
}

void note(const std::string &entry, const char *why)
{
    std::fprintf(stderr, "libhalvo: gpio entry \"%s\" ignored (%s)\n", entry.c_str(), why);
}

} // namespace

Gpio::Gpio(const Root &root, const Settings &settings) : root_(root)
{
    for (const std::string &line : settings.gpio) {
        std::istringstream entries(line);
        std::string entry;
        while (entries >> entry)
            addEntry(entry);
    }
}

Gpio::~Gpio() = default;

void Gpio::addEntry(const std::string &entry)
{
    const size_t colon = entry.find(':');
    std::vector<unsigned> offsets;
    if (colon == std::string::npos || !isChipName(entry.substr(0, colon)) ||
        !parseOffsets(entry.substr(colon + 1), offsets))
        return note(entry, "not chip:offsets");
    const std::string name = entry.substr(0, colon);
    auto it = chips_.find(name);
    if (it == chips_.end()) {
        int32_t status = HALVO_STATUS_OK;
        auto chip = openGpioChip(root_, name, status);
        // Without permission the pins stay, so that every call on them says
        // why they cannot be used.
        if (!chip && HALVO_ERROR_CLASS(status) != HALVO_CLASS_ACCESS)
            return note(entry, "chip cannot be opened");
        it = chips_.emplace(name, Chip{std::move(chip)}).first;
    }
    const GpioChip *chip = it->second.open.get();
    for (const unsigned o : offsets) {
        if (chip && o >= chip->lineCount())
            return note(entry, "offset beyond the chip");
        for (const Pin &p : pins_)
            if (p.chip == name && p.offset == o)
                return note(entry, "line named twice");
    }
    for (const unsigned o : offsets)
        pins_.push_back({name, o});
}

GpioChip *Gpio::chipOf(int32_t pin, int32_t &status)
{
    if (pins_.empty()) {
        status = unsupported();
        return nullptr;
    }
    if (pin < 0 || static_cast<size_t>(pin) >= pins_.size()) {
        status = badArgument(kOutOfRange);
        return nullptr;
    }
    const Pin &p = pins_[static_cast<size_t>(pin)];
    Chip &chip = chips_.at(p.chip);
    if (!chip.open) {
        chip.open = openGpioChip(root_, p.chip, status);
        if (!chip.open)
            return nullptr;
    }
    if (p.offset >= chip.open->lineCount()) {
        status = fail(HALVO_CLASS_DEVICE, kNoDevice);
        return nullptr;
    }
    status = HALVO_STATUS_OK;
    return chip.open.get();
}

int32_t Gpio::peek(GpioChip &chip, unsigned offset, int &level)
{
    if (const int32_t status = chip.request(offset, GpioChip::Request::AsIs, 0); status != HALVO_STATUS_OK)
        return status;
    const int32_t status = chip.value(offset, level);
    chip.request(offset, GpioChip::Request::None, 0);
    return status;
}

int32_t Gpio::gpioGetCount(int32_t &count)
{
    count = static_cast<int32_t>(pins_.size());
    return HALVO_STATUS_OK;
}

int32_t Gpio::gpioGetDirection(int32_t pin, uint8_t &direction)
{
    int32_t status;
    GpioChip *chip = chipOf(pin, status);
    if (!chip)
        return status;
    bool output = false;
    if ((status = chip->isOutput(pins_[static_cast<size_t>(pin)].offset, output)) != HALVO_STATUS_OK)
        return status;
    direction = output ? 1 : 0;
    return HALVO_STATUS_OK;
}

int32_t Gpio::gpioSetDirection(int32_t pin, uint8_t direction)
{
    int32_t status;
    GpioChip *chip = chipOf(pin, status);
    if (!chip)
        return status;
    if (direction > 1)
        return badArgument(kOutOfRange);
    Pin &p = pins_[static_cast<size_t>(pin)];
    if (!direction) {
        // A failed request has given up the earlier one as well.
        status = chip->request(p.offset, GpioChip::Request::Input, 0);
        chip->request(p.offset, GpioChip::Request::None, 0);
        p.driving = false;
        return status;
    }
    if (p.driving)
        return HALVO_STATUS_OK;
    // An input becoming an output drives the level it reads now, so that the
    // switch itself causes no edge.
    int level = 0;
    if ((status = peek(*chip, p.offset, level)) != HALVO_STATUS_OK)
        return status;
    status = chip->request(p.offset, GpioChip::Request::Output, level);
    p.driving = status == HALVO_STATUS_OK;
    return status;
}

int32_t Gpio::gpioGetLevel(int32_t pin, uint8_t &level)
{
    int32_t status;
    GpioChip *chip = chipOf(pin, status);
    if (!chip)
        return status;
    const Pin &p = pins_[static_cast<size_t>(pin)];
    int v = 0;
    status = p.driving ? chip->value(p.offset, v) : peek(*chip, p.offset, v);
    if (status != HALVO_STATUS_OK)
        return status;
    level = static_cast<uint8_t>(v);
    return HALVO_STATUS_OK;
}

int32_t Gpio::gpioSetLevel(int32_t pin, uint8_t level)
{
    int32_t status;
    GpioChip *chip = chipOf(pin, status);
    if (!chip)
        return status;
    if (level > 1)
        return badArgument(kOutOfRange);
    Pin &p = pins_[static_cast<size_t>(pin)];
    if (p.driving)
        return chip->setValue(p.offset, level);
    bool output = false;
    if ((status = chip->isOutput(p.offset, output)) != HALVO_STATUS_OK)
        return status;
    // Linux keeps no output latch for an input line: the level would be lost
    // rather than driven once the pin becomes an output.
    if (!output)
        return unsupported();
    // An output this library does not hold yet (set by firmware or another
    // program): requested as an output at the new level in one step, since
    // the kernel only sets values through an output request.
    status = chip->request(p.offset, GpioChip::Request::Output, level);
    p.driving = status == HALVO_STATUS_OK;
    return status;
}

} // namespace halvo::host
