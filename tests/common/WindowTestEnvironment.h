#pragma once

#include "ErrorRecorder.h"
#include "ScriptedFolderPicker.h"
#include "ScriptedMessageBox.h"

#include <QTemporaryDir>

// What a test of the main window needs around it: settings in a temporary folder, answerable
// message boxes and folder pickers, and recorded error reports. Everything is put back when it
// goes out of scope.
class WindowTestEnvironment
{
public:
    WindowTestEnvironment();
    ~WindowTestEnvironment();

    // What a test's cleanup() fails on: boxes and reports it did not expect, answers it queued
    // for nothing.
    QStringList leftovers() const;

    // The folder holding this test's settings.ini.
    QTemporaryDir settings;
    ScriptedMessageBox boxes;
    ScriptedFolderPicker picker;
    ErrorRecorder errors;
};
