#include "gpio_chip.h"

#include "../../status.h"

#include <cerrno>
#include <gpiod.h>
#include <sstream>
#include <sys/stat.h>
#include <vector>

namespace halvo::host
{

namespace
{

constexpr const char *kConsumer = "halvo";
// Real chips have at most a few hundred lines; the bound keeps a damaged
// fixture file from growing memory.
constexpr unsigned kMaxFakeLines = 1024;

class LibgpiodChip : public GpioChip
{
public:
    explicit LibgpiodChip(gpiod_chip *chip) : chip_(chip) {}
    // Closing the chip releases every line still requested; the kernel leaves
    // released lines as they are.
    ~LibgpiodChip() override { gpiod_chip_close(chip_); }

    unsigned lineCount() const override { return gpiod_chip_num_lines(chip_); }

    int32_t isOutput(unsigned offset, bool &output) override
    {
        gpiod_line *line = gpiod_chip_get_line(chip_, offset);
        // The line object caches its info from the first look-up; another
        // consumer may have changed the direction since.
        if (!line || gpiod_line_update(line) != 0)
            return statusFromErrno(errno);
        output = gpiod_line_direction(line) == GPIOD_LINE_DIRECTION_OUTPUT;
        return HALVO_STATUS_OK;
    }

    int32_t request(unsigned offset, Request how, int level) override
    {
        gpiod_line *line = gpiod_chip_get_line(chip_, offset);
        if (!line)
            return statusFromErrno(errno);
        if (gpiod_line_is_requested(line))
            gpiod_line_release(line);
        if (how == Request::None)
            return HALVO_STATUS_OK;
        gpiod_line_request_config config{};
        config.consumer = kConsumer;
        config.request_type = how == Request::Output  ? GPIOD_LINE_REQUEST_DIRECTION_OUTPUT
                              : how == Request::Input ? GPIOD_LINE_REQUEST_DIRECTION_INPUT
                                                      : GPIOD_LINE_REQUEST_DIRECTION_AS_IS;
        return gpiod_line_request(line, &config, level) == 0 ? HALVO_STATUS_OK : statusFromErrno(errno);
    }

    int32_t value(unsigned offset, int &level) override
    {
        gpiod_line *line = gpiod_chip_get_line(chip_, offset);
        const int v = line ? gpiod_line_get_value(line) : -1;
        if (v < 0)
            return statusFromErrno(errno);
        level = v;
        return HALVO_STATUS_OK;
    }

    int32_t setValue(unsigned offset, int level) override
    {
        gpiod_line *line = gpiod_chip_get_line(chip_, offset);
        if (!line || gpiod_line_set_value(line, level) != 0)
            return statusFromErrno(errno);
        return HALVO_STATUS_OK;
    }

private:
    gpiod_chip *chip_;
};

class FakeChip : public GpioChip
{
public:
    FakeChip(const Root &root, std::string path, const std::string &text) : root_(root), path_(std::move(path))
    {
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            line = line.substr(0, line.find('#'));
            std::istringstream fields(line);
            long offset = -1;
            std::string direction, name;
            int level = -1;
            if (!(fields >> offset >> direction >> level) || offset < 0 || offset >= long(kMaxFakeLines) ||
                (direction != "in" && direction != "out") || (level != 0 && level != 1))
                continue;
            fields >> name;
            if (static_cast<size_t>(offset) >= lines_.size())
                lines_.resize(static_cast<size_t>(offset) + 1);
            lines_[static_cast<size_t>(offset)] = {direction == "out", level, name};
        }
    }

    unsigned lineCount() const override { return static_cast<unsigned>(lines_.size()); }

    int32_t isOutput(unsigned offset, bool &output) override
    {
        output = lines_.at(offset).output;
        return HALVO_STATUS_OK;
    }

    int32_t request(unsigned offset, Request how, int level) override
    {
        Line &line = lines_.at(offset);
        line.held = how != Request::None;
        if (how == Request::Output) {
            line.output = true;
            line.level = level;
        } else if (how == Request::Input) {
            line.output = false;
        }
        return save();
    }

    int32_t value(unsigned offset, int &level) override
    {
        level = lines_.at(offset).level;
        return HALVO_STATUS_OK;
    }

    int32_t setValue(unsigned offset, int level) override
    {
        Line &line = lines_.at(offset);
        // The kernel refuses values on lines that are not outputs.
        if (!line.output)
            return fail(HALVO_CLASS_ACCESS, kPermission);
        line.level = level;
        return save();
    }

private:
    struct Line {
        bool output = false;
        int level = 0;
        std::string name;
        bool held = false;
    };

    int32_t save() const
    {
        std::string text = "# offset direction level name\n";
        for (size_t i = 0; i < lines_.size(); ++i) {
            text += std::to_string(i) + (lines_[i].output ? " out " : " in ") + std::to_string(lines_[i].level);
            text += lines_[i].name.empty() ? "" : " " + lines_[i].name;
            text += lines_[i].held ? " # held\n" : "\n";
        }
        return root_.write(path_, text);
    }

    const Root &root_;
    std::string path_;
    std::vector<Line> lines_;
};

} // namespace

std::unique_ptr<GpioChip> openGpioChip(const Root &root, const std::string &name, int32_t &status)
{
    const std::string path = "/dev/" + name;
    struct stat st {
    };
    if (::stat(root.path(path).c_str(), &st) != 0) {
        status = statusFromErrno(errno);
        return nullptr;
    }
    if (S_ISCHR(st.st_mode)) {
        gpiod_chip *chip = gpiod_chip_open(root.path(path).c_str());
        if (!chip) {
            status = statusFromErrno(errno);
            return nullptr;
        }
        status = HALVO_STATUS_OK;
        return std::make_unique<LibgpiodChip>(chip);
    }
    std::string text;
    if ((status = root.read(path, text)) != HALVO_STATUS_OK)
        return nullptr;
    return std::make_unique<FakeChip>(root, path, text);
}

} // namespace halvo::host
