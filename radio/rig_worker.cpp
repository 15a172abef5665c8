#include "radio/rig_worker.h"

#include <QMetaObject>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace vantrel::radio {

struct RigWorker::Request {
    enum class Kind { Open, Close, Ptt, Frequency, Mode, Stop } kind = Kind::Frequency;
    unsigned generation = 0;
    RigConfig config;
    bool on = false;
    bool final = false;  // the close-down's unkey

    bool reading() const { return kind == Kind::Frequency || kind == Kind::Mode; }
};

struct RigWorker::Reply {
    Request request;
    RigAnswer answer;
};

// What the worker thread shares with the GUI side. It outlives the RigWorker when the thread is
// still stuck in the radio at close-down.
struct RigWorker::Shared {
    std::mutex mutex;
    std::condition_variable wake;      // a request was queued
    std::condition_variable finished;  // the final unkey has begun, or the thread has ended
    std::deque<Request> queue;
    bool finalStarted = false;
    bool finalOk = false;  // the radio confirmed the final unkey
    bool done = false;
    std::function<void(const Reply&)> deliver;  // cleared once nobody listens any more
    std::unique_ptr<RigControl> rig;
    std::thread thread;

    void post(const Reply& reply) {
        std::lock_guard lock(mutex);
        if (deliver) deliver(reply);
    }

    void run() {
        for (;;) {
            Request request;
            {
                std::unique_lock lock(mutex);
                wake.wait(lock, [this] { return !queue.empty(); });
                request = queue.front();
                queue.pop_front();
                if (request.final) {
                    finalStarted = true;
                    finished.notify_all();
                }
            }
            if (request.kind == Request::Kind::Stop) break;
            Reply reply{request, {}};
            switch (request.kind) {
            case Request::Kind::Open: reply.answer = rig->open(request.config); break;
            case Request::Kind::Close: rig->close(); reply.answer.ok = true; break;
            case Request::Kind::Ptt:
                if (!rig->isOpen()) continue;
                reply.answer = rig->setPtt(request.on);
                break;
            case Request::Kind::Frequency:
            case Request::Kind::Mode:
                if (!rig->isOpen()) reply.answer = RigAnswer{false, {}, {}};
                else reply.answer = request.kind == Request::Kind::Mode ? rig->readMode() : rig->readFrequency();
                break;
            case Request::Kind::Stop: break;
            }
            if (request.final) {
                std::lock_guard lock(mutex);
                finalOk = reply.answer.ok;
            }
            if (request.kind == Request::Kind::Frequency && reply.answer.ok) {
                // The mode as a request of its own, behind whatever keying came meanwhile.
                std::lock_guard lock(mutex);
                queue.push_back(Request{Request::Kind::Mode, request.generation, {}, false, false});
            }
            post(reply);
        }
        rig->close();
        rig.reset();
        std::lock_guard lock(mutex);
        done = true;
        finished.notify_all();
    }
};

RigWorker::RigWorker(std::unique_ptr<RigControl> rig, QObject* parent) : QObject(parent), shared_(std::make_shared<Shared>()) {
    shared_->rig = std::move(rig);
    // Runs on the worker thread under the shared mutex, which the destructor takes before it
    // clears this: `this` is alive whenever it runs.
    shared_->deliver = [this](const Reply& reply) {
        QMetaObject::invokeMethod(this, [this, reply] { received(reply); }, Qt::QueuedConnection);
    };
    shared_->thread = std::thread([shared = shared_] { shared->run(); });
    connect(&pollTimer_, &QTimer::timeout, this, &RigWorker::poll);
}

RigWorker::~RigWorker() { shutDown(false); }

void RigWorker::enqueue(Request request) {
    std::lock_guard lock(shared_->mutex);
    auto& queue = shared_->queue;
    auto at = queue.end();
    // Keying goes ahead of the readings, behind every other request.
    if (request.kind == Request::Kind::Ptt)
        at = std::find_if(queue.rbegin(), queue.rend(), [](const Request& r) { return !r.reading(); }).base();
    queue.insert(at, std::move(request));
    shared_->wake.notify_one();
}

void RigWorker::open(const RigConfig& config) {
    if (shutDown_) return;
    ++generation_;
    opening_ = true;
    connected_ = false;
    lostReported_ = false;
    pollPending_ = false;
    setDial({});
    Request request;
    request.kind = Request::Kind::Open;
    request.generation = generation_;
    request.config = config;
    enqueue(request);
}

void RigWorker::close() {
    if (shutDown_) return;
    ++generation_;
    opening_ = false;
    connected_ = false;
    pollPending_ = false;
    setDial({});
    Request request;
    request.kind = Request::Kind::Close;
    request.generation = generation_;
    enqueue(request);
}

void RigWorker::setPtt(bool on) {
    if (shutDown_ || (!opening_ && !connected_)) return;
    Request request;
    request.kind = Request::Kind::Ptt;
    request.generation = generation_;
    request.on = on;
    enqueue(request);
}

void RigWorker::poll() {
    if (shutDown_ || pollPending_ || !connected_) return;
    pollPending_ = true;
    Request request;
    request.kind = Request::Kind::Frequency;
    request.generation = generation_;
    enqueue(request);
}

void RigWorker::setPollInterval(std::chrono::milliseconds interval) {
    if (interval.count() <= 0) {
        pollTimer_.stop();
        return;
    }
    pollTimer_.start(interval);
}

void RigWorker::setDial(const QString& text) {
    if (text.isEmpty()) dial_ = {};
    if (text == dialText_) return;
    dialText_ = text;
    emit dialChanged(dialText_);
}

void RigWorker::received(const Reply& reply) {
    if (shutDown_ || reply.request.generation != generation_) return;
    const RigAnswer& answer = reply.answer;
    const QString error = QString::fromStdString(answer.error);
    switch (reply.request.kind) {
    case Request::Kind::Open:
        opening_ = false;
        connected_ = answer.ok;
        emit opened(answer.ok, error);
        if (connected_) poll();
        return;
    case Request::Kind::Ptt:
        emit pttAnswered(reply.request.on, answer.ok);
        if (!answer.ok) readingFailed(error);
        return;
    case Request::Kind::Frequency:
        if (answer.ok) {
            dial_.frequencyHz = answer.dial.frequencyHz;
        } else {
            pollPending_ = false;
            readingFailed(error);
        }
        return;
    case Request::Kind::Mode:
        // A radio without a mode reading still has a dial worth showing.
        pollPending_ = false;
        dial_.mode = answer.ok ? answer.dial.mode : std::string();
        setDial(QString::fromStdString(formatDial(dial_)));
        return;
    case Request::Kind::Close:
    case Request::Kind::Stop: return;
    }
}

void RigWorker::readingFailed(const QString& error) {
    // A radio that does not answer shows no dial rather than a stale one.
    setDial({});
    if (!lostReported_) {
        lostReported_ = true;
        emit radioLost(error);
    }
}

bool RigWorker::shutDown(bool unkey, std::chrono::milliseconds limit) {
    if (shutDown_) return true;
    shutDown_ = true;
    pollTimer_.stop();
    std::unique_lock lock(shared_->mutex);
    auto& queue = shared_->queue;
    // The final unkey stands for every reading and keying still queued.
    std::erase_if(queue, [](const Request& r) { return r.reading() || r.kind == Request::Kind::Ptt; });
    const bool unkeying = unkey && (opening_ || connected_);
    if (unkeying) queue.push_back(Request{Request::Kind::Ptt, generation_, {}, false, true});
    queue.push_back(Request{Request::Kind::Close, generation_, {}, false, false});
    queue.push_back(Request{Request::Kind::Stop, generation_, {}, false, false});
    shared_->wake.notify_one();
    // First the call on its way to the radio, then the unkey itself, each within the bound.
    const Shared& s = *shared_;
    bool done = shared_->finished.wait_for(lock, limit, [&] { return s.done || (unkeying && s.finalStarted); });
    if (done && !s.done) done = shared_->finished.wait_for(lock, limit, [&] { return s.done; });
    done = done && (!unkeying || s.finalOk);
    shared_->deliver = nullptr;
    lock.unlock();
    if (done)
        shared_->thread.join();
    else
        shared_->thread.detach();
    connected_ = false;
    dialText_.clear();
    dial_ = {};
    return done;
}

}  // namespace vantrel::radio
