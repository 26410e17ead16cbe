#include "BackgroundTask.h"

TBackgroundTask::TBackgroundTask(TWork work, std::function<void()> news) {
    FThread = std::thread([this, work = std::move(work), news = std::move(news)] {
        work(*this);
        FFinished = true;
        if (news)
            news();
    });
}

TBackgroundTask::~TBackgroundTask() {
    FStop = true;
    if (FThread.joinable())
        FThread.join();
}
