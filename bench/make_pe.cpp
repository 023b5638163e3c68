// Writes a realistic PE file of about the asked size: a header line, then one
// data line per second, "hh:mm:ss," and 12 numeric fields, CR LF throughout.
// usage: make-pe BYTES OUTPUT

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-pe BYTES OUTPUT\n");
        return 2;
    }
    const std::uint64_t target = std::strtoull(argv[1], nullptr, 10);
    std::FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr) {
        std::perror(argv[2]);
        return 1;
    }
    static char buffer[1 << 16];
    std::setvbuf(out, buffer, _IOFBF, sizeof buffer);

    const std::string header =
        "Time,Chamber temp [C],Wall temp [C],Pressure [mbar],Flow [l/min],Humidity [%],Valve 1 [%],"
        "Valve 2 [%],Heater [W],Fan [rpm],Setpoint [C],Deviation [K],Status\r\n";
    std::fputs(header.c_str(), out);
    std::uint64_t written = header.size();

    std::mt19937 rng(42);
    std::uniform_int_distribution<int> noise(-50, 50);
    std::uint32_t second = 8 * 3600;
    double temp = 21.0;
    char line[256];
    while (written < target) {
        temp += noise(rng) / 1000.0;
        const int n = std::snprintf(
            line, sizeof line, "%02u:%02u:%02u,%.2f,%.2f,%.1f,%.2f,%.1f,%d,%d,%d,%d,25.00,%.2f,1\r\n",
            second / 3600 % 24, second / 60 % 60, second % 60, temp, temp - 0.4, 1013.2 + noise(rng) / 100.0,
            12.5 + noise(rng) / 200.0, 45.0 + noise(rng) / 25.0, 30 + noise(rng) / 20, noise(rng) / 10 + 5,
            850 + noise(rng), 1200 + noise(rng) / 3, temp - 25.0);
        if (std::fwrite(line, 1, static_cast<std::size_t>(n), out) != static_cast<std::size_t>(n)) {
            std::perror(argv[2]);
            return 1;
        }
        written += static_cast<std::uint64_t>(n);
        ++second;
    }
    if (std::fclose(out) != 0) {
        std::perror(argv[2]);
        return 1;
    }
    return 0;
}
