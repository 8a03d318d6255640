// Times the full update of a virtual drive that answers at once, with normal
// images of 1, 4 and 16 MiB (the largest the drive takes), beside one plain
// read of the same image file, and reports the peak resident memory of each. Every measurement runs
// in a fresh child process, so that one run's peak cannot hide another's.
//
//   update_benchmark                         all sizes, a table of figures
//   update_benchmark update|read DIR         one measurement: "seconds kB"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Log.h"
#include "platform/sim/SimulatedBackend.h"
#include "records/FirmwareImageLayout.h"
#include "records/Util.h"
#include "scsi/STUCMethod.h"
#include "tools/FirmwareImageWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 9;
constexpr std::uint64_t kMiB = 1024 * 1024;

struct Figures {
    double seconds = 0;
    long peakKiB = 0;
};

long peakResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

template <class Work>
double secondsFor(Work work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string normalImageName() {
    return FirmwareImageLayout::imageFileName(FirmwareImageLayout::kNormalImageBaseName);
}

// The update as the window runs it: list the drive, then update its record.
double timeUpdate() {
    sim::DriveProfile profile;
    profile.id = "bench";
    profile.disc = sim::Disc{};
    profile.installPolls = 0;
    sim::Scenario scenario;
    scenario.drives.push_back(profile);
    const sim::SimulatedBackend backend(scenario);

    FirmFileData kernelImage;
    kernelImage.readHeaderOfResource(
        FirmwareImageLayout::imageFileName(FirmwareImageLayout::kKernelImageBaseName));
    FirmFileData normalImage;
    normalImage.readHeaderOfResource(normalImageName());
    std::vector<DeviceData> drives = ListTargetDrives(normalImage);
    if (drives.size() != 1 || !drives[0].isEnableUpdate()) {
        throw std::runtime_error("the virtual drive was not listed as eligible");
    }
    bool updated = false;
    const double seconds =
        secondsFor([&] { updated = ExecUpdateMain(drives[0], normalImage, kernelImage); });
    if (!updated) {
        throw std::runtime_error("the update failed");
    }
    return seconds;
}

// One read of the whole image, in the pieces the update reads it in.
double timeRead() {
    return secondsFor([] {
        auto file = Util::openFile(normalImageName());
        std::uint64_t offset = 0;
        for (auto piece = Util::readFile(file.get(), 0, kWriteBufferSize); !piece.empty();
             piece = Util::readFile(file.get(), offset, kWriteBufferSize)) {
            offset += piece.size();
        }
        Util::closeFile(file);
    });
}

int measure(const std::string& what, const fs::path& folder) {
    foundation::Log::setSink([](foundation::LogChannel, std::string_view) {});
    foundation::Bundle::mainBundle().setResourcePath(folder);
    const double seconds = what == "update" ? timeUpdate() : timeRead();
    std::printf("%.6f %ld\n", seconds, peakResidentKiB());
    return 0;
}

struct PipeCloser {
    void operator()(std::FILE* pipe) const { ::pclose(pipe); }
};

Figures runChild(const std::string& what, const fs::path& folder) {
    std::string command;
    for (const std::string& word :
         {fs::read_symlink("/proc/self/exe").string(), what, folder.string()}) {
        command.append(" '").append(word).append("'");
    }
    const std::unique_ptr<std::FILE, PipeCloser> pipe(::popen(command.c_str(), "r"));
    Figures figures;
    if (!pipe || std::fscanf(pipe.get(), "%lf %ld", &figures.seconds, &figures.peakKiB) != 2) {
        throw std::runtime_error("no figures from: " + command);
    }
    return figures;
}

// The median time and the highest peak over several fresh runs.
Figures runMany(const std::string& what, const fs::path& folder) {
    std::vector<double> times;
    Figures result;
    for (int i = 0; i < kRuns; ++i) {
        const Figures one = runChild(what, folder);
        times.push_back(one.seconds);
        result.peakKiB = std::max(result.peakKiB, one.peakKiB);
    }
    std::sort(times.begin(), times.end());
    result.seconds = times[times.size() / 2];
    return result;
}

class TemporaryFolder {
  public:
    TemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "quelmar-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create " + pattern);
        }
        path_ = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

int benchmark() {
    const TemporaryFolder temporary;
    std::printf("%-8s %12s %12s %7s %16s %16s %16s\n", "image", "update", "plain read", "ratio",
                "update peak RSS", "read peak RSS", "update - read");
    std::vector<Figures> updates;
    for (const std::uint64_t mebibytes : {1, 4, 16}) {
        const fs::path folder = temporary.path() / std::to_string(mebibytes);
        fs::create_directory(folder);
        tools::writeFirmwareImage(
            folder / FirmwareImageLayout::imageFileName(FirmwareImageLayout::kKernelImageBaseName),
            tools::demoKernelImageIdentity(), tools::kDemoKernelImageSize);
        tools::writeFirmwareImage(folder / normalImageName(), tools::demoNormalImageIdentity(),
                                  mebibytes * kMiB);
        const Figures update = runMany("update", folder);
        const Figures read = runMany("read", folder);
        updates.push_back(update);
        std::printf("%3llu MiB %9.2f ms %9.2f ms %6.2fx %13ld kB %13ld kB %+13ld kB\n",
                    static_cast<unsigned long long>(mebibytes), update.seconds * 1e3,
                    read.seconds * 1e3, update.seconds / read.seconds, update.peakKiB, read.peakKiB,
                    update.peakKiB - read.peakKiB);
    }
    // The update holds both images in memory while it sends them: its peak
    // may grow with them, and by no more.
    const long growth = updates.back().peakKiB - updates.front().peakKiB;
    const long loadedGrowth = static_cast<long>((16 - 1) * kMiB / 1024);
    std::printf("\npeak memory, 16 MiB against 1 MiB: %+ld kB (the loaded images: %+ld kB)\n",
                growth, loadedGrowth);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 3) {
            return measure(argv[1], argv[2]);
        }
        return benchmark();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "update_benchmark: %s\n", error.what());
        return 1;
    }
}
