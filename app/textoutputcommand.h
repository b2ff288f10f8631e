#pragma once

#include <QString>

class Document;
class QWidget;

// The document's commands that run an engine operation over the whole
// structure and report the system's error text on failure.

// Writes every segment as a text table to path, with a progress window that
// can stop it. A file is replaced only by a complete table (a failed or
// stopped output keeps the old file); a FIFO or a device is written in place.
bool writeSegmentsAsText(Document& doc, const QString& path, QWidget* progressParent,
                         QString* error);
// Removes every byte no field describes, after the caller's confirmation. On
// success the data and the structure are marked changed.
bool cutBlankInDocument(Document& doc, QWidget* progressParent, QString* error);
