#pragma once

#include <QString>

// Creates every missing folder of a path (given without a trailing separator), level by level
// from the root. A level that exists already is passed over; any other failure is raised.
void MakePath(const QString &path);
