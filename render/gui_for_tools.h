#pragma once

#include <QGuiApplication>

#include <memory>

namespace ostrel::render {

// Fonts and PDF need a QGuiApplication. A command-line tool makes its own, on
// the offscreen platform unless one is asked for, so that no display is
// needed; null when one exists already.
std::unique_ptr<QGuiApplication> GuiForTools();

} // namespace ostrel::render
