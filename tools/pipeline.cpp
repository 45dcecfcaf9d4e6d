// SPDX-License-Identifier: Apache-2.0
// The pipeline's two schedulers. With one job the calling thread reads, handles and writes every
// chunk. With N jobs, N - 1 worker threads handle chunks and the calling thread reads them and
// handles chunks itself whenever it would otherwise wait for room, so that N threads keep N
// cores busy; whoever finishes the oldest chunk writes every finished chunk in input order, so
// output goes on while the calling thread waits for input.
//
// Memory: a chunk is sent on only while less than kBudget bytes of input are in flight, in at most
// kMaxSlots chunks.
#include "pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "worker.h"

namespace rizorod::tool {
namespace {

constexpr std::size_t kBudget = std::size_t{1} << 20;  // input bytes in flight
constexpr unsigned kMaxWorkers = 16;
constexpr std::size_t kMaxSlots = 16;                  // chunks in flight

// ---- One job: everything on the calling thread.

int run_serial(const std::vector<Input>& inputs, const Options& options, Worker& worker, Output& out) {
    const std::vector<InputInfo> infos = infos_of(inputs);
    int status = kOk;
    Chunk c;
    Spare spare;
    for (std::size_t i = 0; i < inputs.size() && !out.failed(); ++i) {
        Reader reader(inputs[i], infos[i], options.read, spare);
        while (!out.failed() && reader.next(c)) {
            if (!c.data.empty()) worker.handle(c);
            const bool goes_on = write_chunk(c, out, status);
            c.recycle(spare);
            if (!goes_on) break;
        }
    }
    return status;
}

// ---- Several jobs.

class Parallel {
public:
    // workers[0] is the calling thread's: it reads the inputs, and handles chunks whenever it
    // would otherwise wait for room; every other worker gets a thread of its own.
    Parallel(std::vector<std::unique_ptr<Worker>>& workers, std::size_t slots, Output& out)
        : slots_(slots), order_(slots), out_(out), helper_(*workers[0]) {
        for (Chunk& c : slots_) free_.push_back(&c);
        for (std::size_t i = 1; i < workers.size(); ++i) {
            Worker& w = *workers[i];
            try {
                threads_.emplace_back([this, &w] { work(w); });
            } catch (const std::exception&) {
                break;  // fewer threads than asked for: as many as could be started
            }
        }
    }
    ~Parallel() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        work_.notify_all();
        for (auto& t : threads_) t.join();
    }
    bool running() const { return !threads_.empty(); }

    int run(const std::vector<Input>& inputs, const Options& options) {
        const std::vector<InputInfo> infos = infos_of(inputs);
        for (std::size_t i = 0; i < inputs.size() && !failed(); ++i) {
            ReadOptions read = options.read;
            read.clock_every_chunk = options.dates;
            Reader reader(inputs[i], infos[i], read, spare_);
            for (;;) {
                Chunk* c = acquire();
                if (c == nullptr) break;  // the output failed
                if (!reader.next(*c)) {
                    release(c);
                    break;
                }
                if (!publish(c, i)) break;  // this input ran out of memory, or the output failed
            }
        }
        std::unique_lock lock(mutex_);
        wait_helping(lock, [&] { return written_ == published_; });
        return status_;
    }

private:
    bool failed() {
        std::lock_guard lock(mutex_);
        return failed_;
    }
    // Waits until `ready` holds, handling chunks that no worker has taken yet meanwhile.
    template <class Ready>
    void wait_helping(std::unique_lock<std::mutex>& lock, Ready ready) {
        while (!ready()) {
            if (claimed_ < published_) step(helper_, lock);
            else space_.wait(lock);
        }
    }
    Chunk* acquire() {
        std::unique_lock lock(mutex_);
        wait_helping(lock, [&] { return !free_.empty() || failed_; });
        if (failed_) return nullptr;
        Chunk* c = free_.back();
        free_.pop_back();
        return c;
    }
    void release(Chunk* c) {
        c->recycle(spare_);
        std::lock_guard lock(mutex_);
        free_.push_back(c);
    }
    bool publish(Chunk* c, std::size_t input) {
        std::unique_lock lock(mutex_);
        // At most kBudget bytes in flight, plus the chunk that goes beyond it.
        wait_helping(lock, [&] { return failed_ || bytes_ < kBudget; });
        if (failed_) {
            lock.unlock();
            release(c);
            return false;
        }
        c->done = false;
        order_[published_ % order_.size()] = c;
        ++published_;
        bytes_ += c->data.size();
        lock.unlock();
        work_.notify_one();
        lock.lock();
        return !failed_ && abandoned_ != input + 1;
    }

    void work(Worker& w) {
        std::unique_lock lock(mutex_);
        for (;;) {
            work_.wait(lock, [&] { return claimed_ < published_ || stop_; });
            if (claimed_ == published_) return;
            step(w, lock);
        }
    }

    // Handles the oldest chunk not yet taken (there is one), then writes what is finished.
    void step(Worker& w, std::unique_lock<std::mutex>& lock) {
        Chunk* c = order_[claimed_ % order_.size()];
        ++claimed_;
        const bool skip = failed_ || abandoned_ == c->input->index + 1;
        lock.unlock();
        if (!skip && !c->data.empty()) w.handle(*c);
        lock.lock();
        c->done = true;
        if (writing_) return;
        // Whoever finishes the oldest chunk writes every finished chunk in order.
        writing_ = true;
        while (written_ < claimed_ && order_[written_ % order_.size()]->done) {
            Chunk* d = order_[written_ % order_.size()];
            const bool quiet = failed_ || abandoned_ == d->input->index + 1;
            lock.unlock();
            const bool goes_on = quiet || write_chunk(*d, out_, status_);
            const std::size_t size = d->data.size();
            d->recycle(spare_);
            lock.lock();
            if (!goes_on) abandoned_ = d->input->index + 1;
            if (out_.failed()) failed_ = true;
            bytes_ -= size;
            free_.push_back(d);
            ++written_;
            space_.notify_all();
        }
        writing_ = false;
    }

    std::vector<Chunk> slots_;
    Spare spare_;
    std::vector<Chunk*> free_;
    std::vector<Chunk*> order_;  // chunk number n is at n mod size
    Output& out_;
    Worker& helper_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable work_, space_;
    std::size_t published_ = 0, claimed_ = 0, written_ = 0;
    std::size_t bytes_ = 0;       // input bytes in flight
    std::size_t abandoned_ = 0;   // 1 + the index of an input given up, or 0
    bool writing_ = false, stop_ = false, failed_ = false;
    int status_ = kOk;            // written by whoever writes
};

}  // namespace

int run(const std::vector<Input>& inputs, const Options& options, const HandlerFactory& factory,
        Output& out, std::vector<std::unique_ptr<Handler>>* handlers) {
    std::vector<std::unique_ptr<Worker>> workers;
    const unsigned wanted = options.jobs <= 1 ? 0 : std::min(options.jobs, kMaxWorkers);
    int status = kOk;
    bool done = false;
    if (wanted > 0) {
        try {
            workers.reserve(wanted);
            for (unsigned i = 0; i < wanted; ++i) {
                auto w = std::make_unique<Worker>();
                w->handler = factory();
                workers.push_back(std::move(w));
            }
        } catch (const std::bad_alloc&) {
            // As many workers as there was memory for.
        }
        if (workers.size() > 1) {
            Parallel parallel(workers, std::min(2 * workers.size() + 2, kMaxSlots), out);
            if (parallel.running()) {
                status = parallel.run(inputs, options);
                done = true;
            }
        }
    }
    if (!done) {
        // One job, or no thread could be started: the calling thread does it all.
        if (workers.empty()) {
            auto w = std::make_unique<Worker>();
            w->handler = factory();
            workers.push_back(std::move(w));
        }
        workers.resize(1);
        status = run_serial(inputs, options, *workers[0], out);
    }
    if (handlers != nullptr)
        for (auto& w : workers) handlers->push_back(std::move(w->handler));
    return status;
}

}  // namespace rizorod::tool
