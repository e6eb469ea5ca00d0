#include "Platform/Graphics/BandedDrawing.hpp"

#include "Platform/Graphics/Bitmap.hpp"
#include "Platform/Graphics/GraphicsContext.hpp"
#include "Platform/Graphics/Parallelism.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace dv::gfx {

namespace {

int bandCountAtMost(int height, std::int64_t most, int minRows) {
    const std::int64_t bands = std::min(most, std::int64_t{height} / std::max(minRows, 1));
    return bands < 2 ? 1 : static_cast<int>(bands);
}

}  // namespace

int bandCountAtMost(int height, std::int64_t most) { return bandCountAtMost(height, most, BAND_MIN_ROWS); }

int bandCount(int width, int height, int most) {
    const std::int64_t pixels = std::int64_t{width} * height;
    const auto free = static_cast<std::int64_t>(freeProcessorCount());
    return bandCountAtMost(height, std::min({pixels / BAND_MIN_PIXELS, free, std::int64_t{most}}));
}

int bandCountFor(int width, int height, std::int64_t maxPixels, int most, std::optional<int> asked) {
    if (asked) return bandCountAtMost(height, *asked, ASKED_BAND_MIN_ROWS);
    return std::int64_t{width} * height <= maxPixels ? bandCount(width, height, most) : 1;
}

int heavyBandCount(int width, int height, std::int64_t maxPixels) {
    if (std::int64_t{width} * height > maxPixels) return 1;
    const auto free = static_cast<std::int64_t>(freeProcessorCount());
    return bandCountAtMost(height, std::min<std::int64_t>(free, MAX_BANDS), HEAVY_BAND_MIN_ROWS);
}

std::vector<BandRows> bandsByCost(int height, int bands, std::span<const BandWork> work, int minRows) {
    height = std::max(height, 0);
    minRows = std::max(minRows, 1);
    bands = bandCountAtMost(height, bands, minRows);
    if (bands < 2) return {{0, height, 0, height}};
    std::vector<int> edges{0};
    // The cost of each row: every part's cost spread evenly over the rows it touches, added up
    // as a running change of cost per row.
    std::vector<double> change(static_cast<std::size_t>(height) + 1, 0.0);
    double total = 0;
    for (const BandWork& part : work) {
        if (!(part.cost > 0) || !std::isfinite(part.cost)) continue;
        int top = 0, bottom = height;
        if (std::isfinite(part.top) && std::isfinite(part.bottom) && part.bottom > part.top) {
            top = static_cast<int>(std::clamp(std::floor(part.top), 0.0, static_cast<double>(height)));
            bottom = static_cast<int>(std::clamp(std::ceil(part.bottom), 0.0, static_cast<double>(height)));
            if (bottom <= top) continue;  // wholly above or below the picture
        }
        const double perRow = part.cost / (bottom - top);
        change[static_cast<std::size_t>(top)] += perRow;
        change[static_cast<std::size_t>(bottom)] -= perRow;
        total += part.cost;
    }
    // Every edge where the rows above it carry its share of the cost, kept far enough from the
    // edge before it and from the end for the bands still to come.
    double rate = 0, above = 0;
    int row = 0;
    for (int k = 1; k < bands; ++k) {
        const int lowest = edges.back() + minRows;
        const int highest = height - (bands - k) * minRows;
        const double share = total * k / bands;
        int edge = static_cast<int>(std::int64_t{height} * k / bands);
        if (total > 0) {
            while (row < highest && above + rate + change[static_cast<std::size_t>(row)] <= share) {
                rate += change[static_cast<std::size_t>(row)];
                above += rate;
                ++row;
            }
            edge = row;
        }
        edges.push_back(std::clamp(edge, lowest, highest));
    }
    edges.push_back(height);
    std::vector<BandRows> rows;
    for (std::size_t k = 0; k + 1 < edges.size(); ++k)
        rows.push_back({edges[k], edges[k + 1], std::max(0, edges[k] - BAND_OVERLAP_ROWS),
                        std::min(height, edges[k + 1] + BAND_OVERLAP_ROWS)});
    return rows;
}

namespace {

// Threads that draw bands, kept for the life of the process: text on a thread is laid out with
// fonts and lines that thread has loaded (Platform/Text keeps them per thread), so a fresh
// thread per picture would look up every font again, costing more than its band saves.
// The caller of a batch runs every band no worker has taken, so it never waits for work that
// has not started, and batches may nest or come from several threads at once.
class BandWorkers {
public:
    struct Batch {
        const std::function<void(std::size_t)>* run = nullptr;
        std::size_t count = 0;
        std::atomic<std::size_t> next{0};
        std::mutex mutex;
        std::condition_variable finished;
        std::size_t done = 0;

        // Runs one band not yet taken; false when none is left.
        bool runOne() {
            const std::size_t index = next.fetch_add(1);
            if (index >= count) return false;
            (*run)(index);
            std::lock_guard lock(mutex);
            if (++done == count) finished.notify_all();
            return true;
        }
    };

    static BandWorkers& shared() {
        // Never destroyed: its threads wait for work until the process ends.
        static BandWorkers* workers = new BandWorkers;
        return *workers;
    }

    // Runs `run(0)` ... `run(count - 1)` on the workers and the calling thread.
    void runAll(std::size_t count, const std::function<void(std::size_t)>& run) {
        auto batch = std::make_shared<Batch>();
        batch->run = &run;
        batch->count = count;
        {
            std::lock_guard lock(mutex_);
            grow(count - 1);
            queue_.push_back(batch);
        }
        wake_.notify_all();
        while (batch->runOne()) {}
        {
            std::unique_lock lock(batch->mutex);
            batch->finished.wait(lock, [&] { return batch->done == batch->count; });
        }
        std::lock_guard lock(mutex_);
        std::erase(queue_, batch);
    }

private:
    // Up to `wanted` threads; with none to be had the calling thread draws alone.
    void grow(std::size_t wanted) {
        try {
            while (threads_ < wanted) {
                std::thread([this] { serve(); }).detach();
                ++threads_;
            }
        } catch (const std::system_error&) {
        }
    }

    void serve() {
        for (;;) {
            std::shared_ptr<Batch> batch;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return !queue_.empty(); });
                batch = queue_.front();
                if (batch->next.load() >= batch->count) {
                    // Every band is taken: the batch is its caller's to finish.
                    queue_.pop_front();
                    continue;
                }
            }
            while (batch->runOne()) {}
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Batch>> queue_;
    std::size_t threads_ = 0;
};

}  // namespace

void runOnBandThreads(std::size_t count, const std::function<void(std::size_t)>& run) {
    if (count == 0) return;
    if (count == 1 || CallerThreadOnly::active()) {
        for (std::size_t part = 0; part < count; ++part) run(part);
        return;
    }
    BandWorkers::shared().runAll(count, run);
}

bool drawInBands(Bitmap& bitmap, const std::vector<BandRows>& bands,
                 const std::function<void(const std::shared_ptr<GraphicsContext>& context, const BandRows& band)>& draw) {
    const int w = bitmap.width();
    const std::size_t count = bands.size();
    if (count == 0) return true;
    // A band draws beyond its rows (it has no clip), so every band but the first draws into a
    // bitmap of its own, cleared, whose memory is touched only where the band draws.
    std::vector<Bitmap> layers;
    for (std::size_t band = 1; band < count; ++band) {
        auto made = Bitmap::create(w, bitmap.height());
        if (!made) return false;
        layers.push_back(std::move(*made));
    }
    auto target = [&](std::size_t band) -> Bitmap& { return band == 0 ? bitmap : layers[band - 1]; };
    std::vector<std::exception_ptr> errors(count);
    const std::function<void(std::size_t)> work = [&](std::size_t band) {
        try {
            const BandRows& rows = bands[band];
            auto context = std::make_shared<GraphicsContext>(target(band));
            context->setWorkRows(rows.drawnTop, rows.drawnBottom);
            context->setKeptRows(rows.top, rows.bottom);
            draw(context, rows);
        } catch (...) {
            errors[band] = std::current_exception();
        }
    };
    BandWorkers::shared().runAll(count, work);
    for (const auto& error : errors)
        if (error) std::rethrow_exception(error);
    // The first band was drawn in place; the others' own rows are copied over it, at once.
    const std::function<void(std::size_t)> copy = [&](std::size_t index) {
        const std::size_t band = index + 1;
        const Bitmap& mine = target(band);
        for (int y = bands[band].top; y < bands[band].bottom; ++y)
            std::memcpy(bitmap.row(y), mine.row(y), static_cast<std::size_t>(w) * sizeof(std::uint32_t));
    };
    if (count > 1) BandWorkers::shared().runAll(count - 1, copy);
    return true;
}

}  // namespace dv::gfx
