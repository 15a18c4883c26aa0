#pragma once

#include "app/SingleInstance.h"

#include <functional>
#include <memory>

class QApplication;
class QWidget;

// What a start of the client may be given from outside. Defaults are what
// the installed client uses; tests and the start-up benchmark replace them.
struct StartupOptions
{
    SingleInstanceNames names = SingleInstanceNames::forCurrentUser();
    // Tells the user, on a second start, that the client already runs.
    // Blocks until dismissed by default (a message box).
    std::function<void()> alreadyRunningNotifier;
    // Print one line describing the window when it is first shown and one
    // when its first frame is on screen, then quit. Set from
    // QUORLIX_QUIT_AFTER_SHOW=1; used by the smoke test and the start-up
    // benchmark to see the real binary come up.
    bool quitAfterFirstShow = false;
    // Builds the client's window once start-up is done (main() supplies the
    // composition root's window; tests supply their own or none).
    std::function<std::unique_ptr<QWidget>()> createWindow;
    // Reads the window's stored options when the cache database opens, before
    // the window is built (main() supplies the window's; may be empty).
    std::function<void()> readStoredOptions;
    // Sets going, on worker threads, work the window's first frame will need,
    // once this start is known to run the client (main() supplies the
    // window's; may be empty).
    std::function<void()> startWindowPreparation;

    // The installed client's options; QUORLIX_SINGLE_INSTANCE_ID replaces
    // the user id in the instance names, QUORLIX_QUIT_AFTER_SHOW=1 sets
    // quitAfterFirstShow.
    static StartupOptions fromEnvironment();
};

extern const char kAlreadyRunningTitle[];
extern const char kAlreadyRunningText[];

// The message box of a second start.
void showAlreadyRunningBox();

// Runs the whole client: application object, data folder, settings,
// database, language, single instance, crash reports, style, window, event
// loop. Returns the event loop's result, or 0 for a second instance.
int runClient(int &argc, char **argv, const StartupOptions &options);

// The same, for an application object that already exists (tests).
int runStartedClient(QApplication &app, const StartupOptions &options);

// Prepares stored state for this start (migration, data folder with its
// subfolders, settings stores, database, saved language). Both a first and a
// second instance run this. Needs the application and organisation names set.
// readStoredOptions runs with the saved language's read, in the cache
// schema's transaction where the cache opens.
void prepareStoredState(const std::function<void()> &readStoredOptions = {});

// A second start: asks the running instance to show itself, tells the user,
// and returns the process's exit code (0).
int handOverToRunningInstance(const StartupOptions &options);

// Sets ":/style.qss" and the first existing application icon.
void applyStyleAndIcon(QApplication &app);
