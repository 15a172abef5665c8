#include "radio/rig_worker.h"

#include <QMetaObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace vantrel::radio {

struct RigWorker::Request {
    enum class Kind { Open, Close, Ptt, Poll, Stop } kind = Kind::Poll;
    unsigned generation = 0;
    RigConfig config;
    bool on = false;
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
    std::condition_variable finished;  // the thread has ended
    std::deque<Request> queue;
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
            case Request::Kind::Poll:
                reply.answer = rig->isOpen() ? rig->readDial() : RigAnswer{false, {}, {}};
                break;
            case Request::Kind::Stop: break;
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
    shared_->queue.push_back(std::move(request));
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
    request.kind = Request::Kind::Poll;
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
        break;
    case Request::Kind::Poll:
        pollPending_ = false;
        if (answer.ok) {
            dial_ = answer.dial;
            setDial(QString::fromStdString(formatDial(answer.dial)));
        }
        break;
    case Request::Kind::Close:
    case Request::Kind::Stop: return;
    }
    if (answer.ok) return;
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
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock lock(shared_->mutex);
    auto& queue = shared_->queue;
    std::erase_if(queue, [](const Request& r) { return r.kind == Request::Kind::Poll; });
    if (unkey && (opening_ || connected_)) queue.push_back(Request{Request::Kind::Ptt, generation_, {}, false});
    queue.push_back(Request{Request::Kind::Close, generation_, {}, false});
    queue.push_back(Request{Request::Kind::Stop, generation_, {}, false});
    shared_->wake.notify_one();
    const bool done = shared_->finished.wait_until(lock, deadline, [this] { return shared_->done; });
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
