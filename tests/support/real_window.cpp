#include "tests/support/real_window.h"

namespace meridan::e2e {

std::string run(const std::string &command)
{
    std::string output;
    if (FILE *pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            output += buffer;
        ::pclose(pipe);
    }
    return output;
}

std::string contents(const std::string &path)
{
    std::ifstream file(path);
    return { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };
}

bool appears(const std::string &path, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (std::filesystem::exists(path))
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

bool holds(const std::string &path, const std::string &text, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (contents(path).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

std::vector<std::string> lastLines(const std::string &path, std::size_t count)
{
    std::vector<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    if (lines.size() > count)
        lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
    return lines;
}

std::vector<bool> green(
        Screen &screen, const Window &window, const std::vector<std::pair<int, int>> &points)
{
    int left = 1 << 30, top = 1 << 30, right = 0, bottom = 0;
    for (auto [x, y] : points) {
        left = std::min(left, x), top = std::min(top, y);
        right = std::max(right, x), bottom = std::max(bottom, y);
    }
    const Pixels pixels = screen.grab(window, { left, top, right - left + 1, bottom - top + 1 });
    std::vector<bool> result;
    for (auto [x, y] : points) {
        if (pixels.rgb.empty()) {
            result.push_back(false);
            continue;
        }
        const std::uint32_t pixel = pixels.at(x - left, y - top);
        const std::uint32_t red = pixel >> 16 & 0xFF, greenPart = pixel >> 8 & 0xFF,
                            blue = pixel & 0xFF;
        result.push_back(greenPart > 200 && red < 60 && blue < 60);
    }
    return result;
}

Trace watch(Screen &screen, const Window &window, const std::vector<std::pair<int, int>> &points,
        std::chrono::milliseconds duration)
{
    Trace trace;
    trace.rises.resize(points.size());
    trace.falls.resize(points.size());
    std::vector<bool> last(points.size(), false);
    const auto start = Clock::now();
    while (Clock::now() - start < duration) {
        const std::vector<bool> now = green(screen, window, points);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        for (std::size_t i = 0; i < points.size(); ++i) {
            if (now[i] && !last[i])
                trace.rises[i].push_back(ms);
            if (!now[i] && last[i])
                trace.falls[i].push_back(ms);
        }
        ++trace.samples;
        if (std::adjacent_find(now.begin(), now.end(), std::not_equal_to<>()) != now.end())
            ++trace.disagreements;
        last = now;
        std::this_thread::sleep_for(1ms);
    }
    return trace;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

std::pair<std::vector<double>, std::vector<double>> periodsAndLitTimes(
        const std::vector<double> &rises, const std::vector<double> &falls)
{
    std::vector<double> periods, litTimes;
    for (std::size_t i = 1; i < rises.size(); ++i)
        periods.push_back(rises[i] - rises[i - 1]);
    for (double rise : rises)
        for (double fall : falls)
            if (fall > rise) {
                litTimes.push_back(fall - rise);
                break;
            }
    return { periods, litTimes };
}

} // namespace meridan::e2e
