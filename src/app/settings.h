// The options and the window geometry, persisted per user in an INI file.
#pragma once

#include <QList>
#include <QRect>
#include <QSettings>
#include <QString>
#include <memory>

#include "core/options.h"

namespace vantrel::app {

// The per-user store: organisation "Corvane Labs", application "Quillon", INI format.
std::unique_ptr<QSettings> openUserSettings();

// A stored window rectangle moved (and if need be shrunk) into the screen it overlaps most,
// or into the first screen when it overlaps none: after a change of scale or monitor the
// stored place may lie partly or wholly off the screens there are now. A rectangle inside
// one screen is returned unchanged.
QRect keepOnScreen(const QRect& window, const QList<QRect>& screens);

// Loads every stored value in load order into `options`. A missing value leaves the default;
// a value of the wrong kind (text where a number belongs, a list) is skipped. Nothing is
// loaded when the store cannot be read.
void RegRead(QSettings& store, Options& options);

// Writes every value in the order of the value table. While the window is maximised
// ("WindowState" 2) the normal geometry ("Top", "Left", "Width", "Height") saved earlier is
// kept. Returns false when the file could not be written; the caller reports it.
bool RegWrite(QSettings& store, const Options& options);

// Why the store's file cannot be written (the system's reason: "Is a directory", "Permission
// denied", "Read-only file system", "Not a directory"), or "" when it can: the file is
// writable, or the nearest folder on its path that exists lets it be created.
QString settingsWriteProblem(const QSettings& store);

}  // namespace vantrel::app
