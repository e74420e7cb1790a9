#include "VMTileOverlayViewRender.h"

#include "Foundation/Dispatch.h"

void VMTileLoadQueue::append(VMTileLoadJob job) {
    std::lock_guard lock(mutex_);
    if (stopped_) return;
    jobs_.push_back(std::move(job));
    changed_.notify_one();
}

std::optional<VMTileLoadJob> VMTileLoadQueue::take() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || !jobs_.empty(); });
    if (stopped_) return std::nullopt;
    VMTileLoadJob job = std::move(jobs_.front());
    jobs_.pop_front();
    return job;
}

void VMTileLoadQueue::stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    jobs_.clear();
    changed_.notify_all();
}

std::size_t VMTileLoadQueue::count() const {
    std::lock_guard lock(mutex_);
    return jobs_.size();
}

std::shared_ptr<VMTileOverlayViewRender> VMTileOverlayViewRender::create(
    std::shared_ptr<VMTileLoadQueue> queue, std::shared_ptr<VMTileOverlay> model) {
    auto render = std::shared_ptr<VMTileOverlayViewRender>(new VMTileOverlayViewRender());
    render->queue_ = queue;
    render->requests_ = std::make_unique<VMTileRequests>();
    render->thread_ =
        NSThread::create([queue, model = std::move(model), &requests = *render->requests_] {
            loadTileThread(queue, model, requests);
        });
    render->thread_->setName("NetworkLoad");
    render->thread_->start();
    return render;
}

VMTileOverlayViewRender::~VMTileOverlayViewRender() {
    queue_->stop();
    thread_.reset();
}

void VMTileOverlayViewRender::loadTileThread(const std::shared_ptr<VMTileLoadQueue>& queue,
                                             const std::shared_ptr<VMTileOverlay>& model,
                                             const VMTileRequests& requests) {
    while (auto job = queue->take()) {
        model->loadTileAtPath(
            job->tilePath,
            requests.track([entry = job->renderDic](std::optional<NSData> data, NSErrorOpt error) {
                if (error || !data) return;
                // Decoded here, off the render thread; bytes that are no picture go as they are.
                auto image = UIImage::imageWithData(*data);
                if (image) data.reset();
                DispatchQueue::main()->async(
                    [entry, image = std::move(image), data = std::move(data)]() mutable {
                        const auto target = entry.lock();
                        if (!target || target->arrived() || target->textureID) return;
                        target->image = std::move(image);
                        target->rawData = std::move(data);
                    });
            }));
    }
}
