#pragma once
// Stand-ins for what the update flow and the version gate show and wait for:
// an overlay that records every display, and waits that record what was asked
// and pass in a fraction of it.

#include "ServiceTestSupport.h"
#include "services/BusyOverlay.h"
#include "services/TimerSource.h"
#include "services/UpdateController.h"
#include "support/FakeInstallerLauncher.h"
#include "support/fakeservice/FakeService.h"

#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

class RecordingOverlay : public BusyOverlay
{
public:
    struct Shown
    {
        QString title;
        bool progress = false;
        int percent = 0;
        qint64 received = 0;
        qint64 total = 0;
    };
    QList<Shown> shown;
    // Runs after each message (not progress), for a test that acts at a given step.
    std::function<void(const QString &title)> onMessage;

    void showMessage(const QString &title) override
    {
        shown.append({title, false, 0, 0, 0});
        if (onMessage)
            onMessage(title);
    }
    void showProgress(const QString &title, int percent, qint64 received, qint64 total) override
    {
        shown.append({title, true, percent, received, total});
    }
    // Every message title, in order (progress displays left out).
    QStringList messages() const
    {
        QStringList titles;
        for (const Shown &s : shown) {
            if (!s.progress)
                titles.append(s.title);
        }
        return titles;
    }
};

// Waits divided by divisor; every asked wait is kept, in order.
struct ScaledTimers
{
    int divisor = 100;
    QList<int> asked;

    TimerSource source()
    {
        return [this](int ms, QObject *context, std::function<void()> fn) {
            asked.append(ms);
            QTimer::singleShot(ms / divisor, context, std::move(fn));
        };
    }
};

// The update flow against the fake service, with its waits scaled down, a
// recording launcher and overlay, and its private folder under a test folder.
struct UpdateFlowRig
{
    FakeService fake;
    QObject owner;
    ServiceClient *client = nullptr;
    FakeInstallerLauncher launcher;
    RecordingOverlay overlay;
    ScaledTimers timers;
    QTemporaryDir base;
    std::unique_ptr<UpdateController> updates;
    int resumes = 0;
    int quits = 0;

    bool start(int divisor = 100)
    {
        if (!fake.listen() || !base.isValid())
            return false;
        timers.divisor = divisor;
        client = ServiceTest::clientFor(fake, &owner);
        updates = std::make_unique<UpdateController>(client, &launcher, timers.source());
        updates->setOverlay(&overlay);
        updates->setResumeCallback([this] { ++resumes; });
        updates->setQuitCallback([this] { ++quits; });
        updates->setTempBase(base.path());
        return true;
    }
};
