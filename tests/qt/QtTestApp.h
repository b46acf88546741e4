#pragma once
// One QApplication for the whole test program (offscreen unless QT_QPA_PLATFORM says
// otherwise) and small helpers that feed widgets the events a user would cause.
#include <QApplication>
#include <QPoint>
#include <QWidget>

namespace pxtest {

QApplication& QtApp();
// Processes events for at least ms milliseconds (once when ms = 0).
void Pump(int ms = 0);
void SendMouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton b = Qt::LeftButton,
                Qt::KeyboardModifiers mods = Qt::NoModifier);
void Click(QWidget* w, QPoint p, Qt::KeyboardModifiers mods = Qt::NoModifier);
void DoubleClick(QWidget* w, QPoint p);
void Key(QWidget* w, int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier);

}  // namespace pxtest
