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

Gpio::Gpio(const Root &root, const Settings &settings)
{
    for (const std::string &line : settings.all("gpio")) {
        std::istringstream entries(line);
        std::string entry;
        while (entries >> entry)
            addEntry(root, entry);
    }
}

Gpio::~Gpio() = default;

void Gpio::addEntry(const Root &root, const std::string &entry)
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
        auto chip = openGpioChip(root, name, status);
        if (!chip)
            return note(entry, "chip cannot be opened");
        it = chips_.emplace(name, std::move(chip)).first;
    }
    GpioChip *chip = it->second.get();
    for (const unsigned o : offsets) {
        if (o >= chip->lineCount())
            return note(entry, "offset beyond the chip");
        for (const Pin &p : pins_)
            if (p.chip == chip && p.offset == o)
                return note(entry, "line named twice");
    }
    for (const unsigned o : offsets)
        pins_.push_back({chip, o});
}

int32_t Gpio::checkPin(int32_t pin) const
{
    if (pins_.empty())
        return unsupported();
    if (pin < 0 || static_cast<size_t>(pin) >= pins_.size())
        return badArgument(kOutOfRange);
    return HALVO_STATUS_OK;
}

int32_t Gpio::request(Pin &pin, GpioChip::Request how, int level)
{
    const int32_t status = pin.chip->request(pin.offset, how, level);
    // A failed request has given up the earlier one.
    pin.held = status == HALVO_STATUS_OK ? how : GpioChip::Request::None;
    return status;
}

int32_t Gpio::hold(Pin &pin)
{
    return pin.held != GpioChip::Request::None ? HALVO_STATUS_OK : request(pin, GpioChip::Request::AsIs, 0);
}

int32_t Gpio::gpioGetCount(int32_t &count)
{
    count = static_cast<int32_t>(pins_.size());
    return HALVO_STATUS_OK;
}

int32_t Gpio::gpioGetDirection(int32_t pin, uint8_t &direction)
{
    if (const int32_t status = checkPin(pin); status != HALVO_STATUS_OK)
        return status;
    const Pin &p = pins_[static_cast<size_t>(pin)];
    bool output = false;
    if (const int32_t status = p.chip->isOutput(p.offset, output); status != HALVO_STATUS_OK)
        return status;
    direction = output ? 1 : 0;
    return HALVO_STATUS_OK;
}

int32_t Gpio::gpioSetDirection(int32_t pin, uint8_t direction)
{
    if (const int32_t status = checkPin(pin); status != HALVO_STATUS_OK)
        return status;
    if (direction > 1)
        return badArgument(kOutOfRange);
    Pin &p = pins_[static_cast<size_t>(pin)];
    const auto wanted = direction ? GpioChip::Request::Output : GpioChip::Request::Input;
    if (p.held == wanted)
        return HALVO_STATUS_OK;
    if (!direction)
        return request(p, wanted, 0);
    // An input becoming an output drives the level it reads now, so that the
    // switch itself causes no edge.
    int level = 0;
    if (int32_t status = hold(p); status != HALVO_STATUS_OK || (status = p.chip->value(p.offset, level)))
        return status;
    return request(p, wanted, level);
}

int32_t Gpio::gpioGetLevel(int32_t pin, uint8_t &level)
{
    if (const int32_t status = checkPin(pin); status != HALVO_STATUS_OK)
        return status;
    Pin &p = pins_[static_cast<size_t>(pin)];
    int v = 0;
    if (int32_t status = hold(p); status != HALVO_STATUS_OK || (status = p.chip->value(p.offset, v)))
        return status;
    level = static_cast<uint8_t>(v);
    return HALVO_STATUS_OK;
}

int32_t Gpio::gpioSetLevel(int32_t pin, uint8_t level)
{
    if (const int32_t status = checkPin(pin); status != HALVO_STATUS_OK)
        return status;
    if (level > 1)
        return badArgument(kOutOfRange);
    Pin &p = pins_[static_cast<size_t>(pin)];
    bool output = false;
    if (int32_t status = p.chip->isOutput(p.offset, output); status != HALVO_STATUS_OK)
        return status;
    // Linux keeps no output latch for an input line: the level would be lost
    // rather than driven once the pin becomes an output.
    if (!output)
        return unsupported();
    if (const int32_t status = hold(p); status != HALVO_STATUS_OK)
        return status;
    return p.chip->setValue(p.offset, level);
}

} // namespace halvo::host
