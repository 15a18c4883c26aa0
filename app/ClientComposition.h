#pragma once
// The composition root: the one place the client's long-lived services are
// made, given their intervals, and handed to the window.

#include "engine/qt/TunnelEngineApi.h"
#include "ui/mainwindow/ClientServices.h"
#include "ui/mainwindow/WindowIntervals.h"

#include <memory>

class MainWindow;

// The services, without parents (the window adopts them). The tunnel client
// drives the given engine (tests pass a scripted one) from the program's folder.
ClientServices createClientServices(const WindowIntervals &intervals,
                                    const TunnelEngineApi &engine = TunnelEngineApi::linked());

// The client's window with its services and the client's intervals.
std::unique_ptr<MainWindow> createMainWindow();
