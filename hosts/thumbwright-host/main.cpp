// thumbwright-host: plays the thumbnail service for one board, the way a freedesktop thumbnailer
// is run by a file browser:
//
//   thumbwright-host -s SIZE [--scale S] [--appearance light|dark] [--module PATH]
//                    [--time-limit SECONDS] [--] INPUT OUTPUT
//
// It loads the Thumbwright module, asks its provider for a thumbnail of INPUT (a path or a
// file:// URI) no larger than SIZE x SIZE points, draws the reply into a bitmap of the reply's
// size times the scale and writes it to OUTPUT as PNG. OUTPUT is written only when everything
// succeeded. A new OUTPUT is written to a temporary file that is renamed into place; an OUTPUT
// that already exists is filled in place, since the service that made it may read the picture
// back through a handle it keeps open on it. A run that takes longer than the time limit (20 s
// unless given) ends with status 3.

#include "Platform/Defaults/UserDefaults.hpp"
#include "Platform/Files/FileData.hpp"
#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/MemoryHeadroom.hpp"
#include "Platform/Graphics/PNGEncoder.hpp"
#include "Platform/Thumbnail/Thumbnailing.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <memory>
#include <new>
#include <optional>
#include <pthread.h>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t maxBoardBytes = std::size_t{256} << 20;
constexpr double defaultTimeLimitSeconds = 20;
constexpr int exitTimedOut = 3;

// The temporary output, removed by the time-limit handler; plain storage so that the handler only
// touches async-signal-safe state.
char pendingOutput[4096];
volatile std::sig_atomic_t hasPendingOutput = 0;

extern "C" void onTimeLimit(int) {
    if (hasPendingOutput) ::unlink(pendingOutput);
    static const char message[] = "thumbwright-host: gave up after the time limit\n";
    ssize_t ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
    (void)ignored;
    ::_exit(exitTimedOut);
}

struct Options {
    double size = 0;
    double scale = 1;
    double timeLimit = defaultTimeLimitSeconds;
    std::optional<std::string> appearance;
    std::optional<std::string> module;
    std::string input;
    std::string output;
};

[[noreturn]] void fail(const std::string& message, int code = 1) {
    std::fprintf(stderr, "thumbwright-host: %s\n", message.c_str());
    std::exit(code);
}

[[noreturn]] void usage() {
    fail("usage: thumbwright-host -s SIZE [--scale S] [--appearance light|dark] [--module PATH] "
         "[--time-limit SECONDS] [--] INPUT OUTPUT", 2);
}

double positiveNumber(const char* text, const char* what) {
    double value = 0;
    const char* end = text + std::strlen(text);
    auto [ptr, ec] = std::from_chars(text, end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value) || !(value > 0))
        fail(std::string("the ") + what + " must be a finite number greater than 0, not \"" + text + "\"", 2);
    return value;
}

Options parse(int argc, char** argv) {
    Options o;
    bool haveSize = false;
    std::vector<std::string> positional;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!options) {
            positional.push_back(arg);
            continue;
        }
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) usage();
            return argv[++i];
        };
        if (arg == "-s" || arg == "--size") {
            o.size = positiveNumber(value(), "size");
            haveSize = true;
        } else if (arg == "--scale") {
            o.scale = positiveNumber(value(), "scale");
        } else if (arg == "--appearance") {
            std::string a = value();
            if (a != "light" && a != "dark") fail("the appearance must be light or dark", 2);
            o.appearance = a;
        } else if (arg == "--time-limit") {
            o.timeLimit = positiveNumber(value(), "time limit");
        } else if (arg == "--module") {
            o.module = value();
        } else if (arg == "-h" || arg == "--help") {
            usage();
        } else if (arg == "--") {
            options = false;
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            usage();
        } else {
            positional.push_back(arg);
        }
    }
    if (!haveSize || positional.size() != 2) usage();
    o.input = positional[0];
    o.output = positional[1];
    return o;
}

void* loadModule(const std::optional<std::string>& explicitPath) {
    std::vector<std::string> candidates;
    if (explicitPath) {
        candidates.push_back(*explicitPath);
    } else {
        if (const char* env = std::getenv("THUMBWRIGHT_MODULE"); env && *env) candidates.emplace_back(env);
        std::string here = dv::platform::executableDirectory();
        candidates.push_back(here + "/../lib/drevalin/libThumbwright.so");  // installed
        candidates.push_back(here + "/../../Thumbwright/libThumbwright.so");  // build tree
    }
    std::string errors;
    for (const auto& path : candidates) {
        if (void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
        if (const char* e = ::dlerror()) errors += std::string("\n  ") + e;
    }
    fail("cannot load the Thumbwright module:" + errors);
}

// Writes every byte of `bytes`; 0, or the errno of the write that failed.
int writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        written += static_cast<std::size_t>(n);
    }
    return 0;
}

void writeByRename(const std::string& output, const std::vector<std::uint8_t>& png) {
    std::string temp = output + ".tmp-XXXXXX";
    if (temp.size() >= sizeof pendingOutput) fail("the output path is too long");
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) fail("cannot create " + output + ": " + std::strerror(errno));
    std::memcpy(pendingOutput, name.data(), name.size());
    hasPendingOutput = 1;
    auto abandon = [&](int err) {
        ::unlink(pendingOutput);
        hasPendingOutput = 0;
        fail("cannot write " + output + ": " + std::strerror(err));
    };
    if (int err = writeAll(fd, png)) {
        ::close(fd);
        abandon(err);
    }
    ::fchmod(fd, 0644);
    if (::close(fd) != 0) abandon(errno);
    if (::rename(pendingOutput, output.c_str()) != 0) abandon(errno);
    hasPendingOutput = 0;
}

// A thumbnail service may create OUTPUT itself and read the picture back through the handle it
// keeps open, so the bytes must land in that very file: a file renamed over it would leave the
// service reading the old, empty one. Nothing is removed on failure; the file belongs to the caller.
void writeInPlace(const std::string& output, const std::vector<std::uint8_t>& png) {
    int fd = ::open(output.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) fail("cannot write " + output + ": " + std::strerror(errno));
    auto giveUp = [&](const std::string& why) {
        ::close(fd);
        fail("cannot write " + output + ": " + why);
    };
    struct stat info {};
    if (::fstat(fd, &info) != 0) giveUp(std::strerror(errno));
    if (!S_ISREG(info.st_mode)) giveUp("not a regular file");
    if (::ftruncate(fd, 0) != 0) giveUp(std::strerror(errno));
    if (int err = writeAll(fd, png)) giveUp(std::strerror(err));
    if (::close(fd) != 0) fail("cannot write " + output + ": " + std::strerror(errno));
}

// Only an existing regular file is filled in place; anything else at OUTPUT (a symbolic link, a
// FIFO) is replaced by a new file, so that the host never writes through a link or blocks.
void writeOutput(const std::string& output, const std::vector<std::uint8_t>& png) {
    struct stat info {};
    if (::lstat(output.c_str(), &info) == 0 && S_ISREG(info.st_mode)) writeInPlace(output, png);
    else writeByRename(output, png);
}

// The smaller of the address-space and data limits the process runs under; RLIM_INFINITY for none.
rlim_t memoryLimit() {
    const std::optional<std::size_t> limit = dv::gfx::processMemoryLimit();
    return limit ? static_cast<rlim_t>(*limit) : RLIM_INFINITY;
}

// The process draws one board and ends, so memory it frees is better kept for its next
// allocation than handed back to the kernel: a board of long strokes allocates and frees outlines
// of several megabytes for every stroke, and faulting those pages in again and again cost several
// times the drawing itself. Blocks up to the largest threshold the allocator accepts come from
// its heap, and the heap is never trimmed.
void keepFreedMemory() {
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
    ::mallopt(M_TRIM_THRESHOLD, INT32_MAX);
    // Threads that draw bands of a large picture allocate all the time: with one heap for all
    // they would mostly wait for its lock (a board of wide shadows took twice as long). A few
    // arenas keep them apart (a thread without one shares), while the short-lived helpers
    // (fonts, image compression) stay within those few. Each arena reserves 64 MiB of address
    // space, though: under an address-space or data limit (some file browsers run thumbnailers
    // under one) the arenas take at most an eighth of it, and under a tight one every thread
    // shares the one heap.
    constexpr rlim_t arenaReserve = rlim_t{64} << 20;
    const rlim_t arenas = std::min<rlim_t>(4, memoryLimit() / (8 * arenaReserve));
    ::mallopt(M_ARENA_MAX, static_cast<int>(std::max<rlim_t>(arenas, 1)));
}

// On a virtual machine the first touch of every 4 KiB page is a fault that costs about as much as
// writing a megabyte, and a thumbnail touches tens of megabytes for the first time (the file, the
// decoded images, the bitmap and its PNG). The heap is therefore reserved in one large step, and
// the kernel is asked to back it with 2 MiB pages: one fault instead of 512. The reserve is
// address space only; pages still come on first touch. Under an address-space or data limit (some
// file browsers run thumbnailers under one) it takes at most an eighth of the limit, so that the
// libraries and large blocks still fit. Where large pages are not offered, the advice does nothing.
void backHeapWithLargePages() {
    constexpr std::uintptr_t largePage = std::uintptr_t{2} << 20;
    std::size_t reserve = std::min<rlim_t>(std::size_t{256} << 20, memoryLimit() / 8);
    reserve &= ~static_cast<std::size_t>(largePage - 1);
    if (reserve < 2 * largePage) return;
    ::mallopt(M_TOP_PAD, static_cast<int>(reserve));
    const auto start = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    // A block larger than whatever the heap's top still holds makes the allocator grow it now,
    // by the block and the pad; the heap is never trimmed, so the reserve stays. Later growth
    // goes back to the allocator's own small steps.
    void* volatile block = std::malloc(largePage);  // volatile: the pair must not be optimised away
    std::free(block);
    ::mallopt(M_TOP_PAD, 128 << 10);
    const auto end = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    const std::uintptr_t from = (start + largePage - 1) & ~(largePage - 1);
    const std::uintptr_t to = end & ~(largePage - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

// Every thread reserves its stack in full, as large as the main thread's limit (8 MiB as a rule),
// which under an address-space or data limit of a few hundred MiB leaves the band threads and
// the font system's helpers without room to start, or the drawing without memory. Their work
// (drawing, laying out text) takes a small part of it: under a limit below 1 GiB a thread gets
// 2 MiB. The main thread keeps its own.
void fitThreadStacks() {
    constexpr rlim_t tight = rlim_t{1} << 30;
    constexpr std::size_t stack = std::size_t{2} << 20;
    if (memoryLimit() >= tight) return;
    pthread_attr_t attributes;
    if (::pthread_getattr_default_np(&attributes) != 0) return;
    std::size_t current = 0;
    if (::pthread_attr_getstacksize(&attributes, &current) == 0 && current > stack &&
        ::pthread_attr_setstacksize(&attributes, stack) == 0)
        ::pthread_setattr_default_np(&attributes);
    ::pthread_attr_destroy(&attributes);
}

void startTimeLimit(double seconds) {
    std::signal(SIGALRM, onTimeLimit);
    // Limits beyond a day are as good as none; below a microsecond the timer would not start.
    const double clamped = std::clamp(seconds, 1e-6, 86400.0);
    itimerval timer{};
    timer.it_value.tv_sec = static_cast<time_t>(clamped);
    timer.it_value.tv_usec = static_cast<suseconds_t>((clamped - std::floor(clamped)) * 1e6);
    if (timer.it_value.tv_sec == 0 && timer.it_value.tv_usec == 0) timer.it_value.tv_usec = 1;
    ::setitimer(ITIMER_REAL, &timer, nullptr);
}

int run(int argc, char** argv);

}  // namespace

int main(int argc, char** argv) {
    keepFreedMemory();
    backHeapWithLargePages();
    fitThreadStacks();
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        fail("Not enough memory to draw the board.");
    } catch (const std::exception& e) {
        fail(e.what());
    }
}

namespace {

int run(int argc, char** argv) {
    Options options = parse(argc, argv);
    startTimeLimit(options.timeLimit);

    // Check the input here too, so that a FIFO or a huge file is refused before any work starts.
    std::string path = dv::platform::localPathFromFileURL(options.input);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) fail("The file \xE2\x80\x9C" + path + "\xE2\x80\x9D couldn\xE2\x80\x99t be read: " + std::strerror(errno) + ".");
    if (!S_ISREG(info.st_mode)) fail("The file \xE2\x80\x9C" + path + "\xE2\x80\x9D is not a regular file.");
    if (static_cast<std::uintmax_t>(info.st_size) > maxBoardBytes) fail("The file \xE2\x80\x9C" + path + "\xE2\x80\x9D is too large.");

    auto& defaults = dv::platform::InMemoryUserDefaults::standard();
    if (options.appearance == "dark") defaults.setString("AppleInterfaceStyle", "Dark");
    else defaults.removeObject("AppleInterfaceStyle");

    void* module = loadModule(options.module);
    auto factory = reinterpret_cast<dv::ql::ThumbnailProviderFactory>(::dlsym(module, dv::ql::thumbnailProviderFactorySymbol));
    if (!factory) fail("the module exports no thumbnail provider factory");
    std::unique_ptr<dv::ql::ThumbnailProviderBase> provider(factory("ThumbnailProvider"));
    if (!provider) fail("the module has no class ThumbnailProvider");

    dv::ql::ThumbnailRequest request{options.input, {options.size, options.size}, options.scale};
    std::shared_ptr<const dv::ql::ThumbnailReply> reply;
    std::optional<dv::ql::ThumbnailError> error;
    int calls = 0;
    provider->provideThumbnailForFileRequest(request, [&](std::shared_ptr<const dv::ql::ThumbnailReply> r,
                                                          std::optional<dv::ql::ThumbnailError> e) {
        ++calls;
        reply = std::move(r);
        error = std::move(e);
    });
    if (calls != 1) fail("the provider called its completion handler " + std::to_string(calls) + " times");
    if (error) fail(error->message);
    if (!reply) fail("the provider answered with neither a reply nor an error");

    dv::ql::Size size = reply->contextSize();
    double w = std::round(size.width * options.scale), h = std::round(size.height * options.scale);
    if (!(w >= 1 && h >= 1 && w <= dv::gfx::Bitmap::maxSide && h <= dv::gfx::Bitmap::maxSide))
        fail("the reply's size cannot be drawn");
    auto bitmap = dv::gfx::Bitmap::create(static_cast<int>(w), static_cast<int>(h));
    if (!bitmap) fail("cannot make a bitmap for the thumbnail");
    {
        dv::gfx::GraphicsContext context(*bitmap);
        if (!reply->draw(context)) fail("the reply did not draw");
    }
    dv::gfx::PixelView pixels{bitmap->data(), bitmap->width(), bitmap->height(), static_cast<int>(bitmap->stride())};
    auto png = dv::gfx::encodePNG(pixels);
    if (!png) fail("cannot encode the thumbnail as PNG");
    writeOutput(options.output, *png);

#if !defined(__SANITIZE_ADDRESS__)
    // The picture is written: the process ends here. Taking everything down in order would
    // cost milliseconds of a thumbnail's time for nothing the system does not undo anyway (the
    // font system alone unmaps every font file it opened); builds that look for leaks still do.
    std::fflush(nullptr);
    std::_Exit(0);
#endif
    // The reply's drawing block and the provider are code of the module: both go before it does.
    reply.reset();
    provider.reset();
    ::dlclose(module);
    return 0;
}

}  // namespace
