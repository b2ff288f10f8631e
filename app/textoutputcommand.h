#pragma once

#include <QString>

class Document;
class QWidget;

// The document's commands that run an engine operation over the whole
// structure and report the system's error text on failure.

// The outputs other programs read: the structure as a C header or as a
// Kaitai Struct description.
enum class StructureExport { CHeader, KaitaiStruct };

// Before an output is written to path: false when path is the data file, its
// type file or the working copy (an output there would destroy what it is
// made from), said in a message; otherwise asks before replacing a file.
bool mayWriteOutput(const Document& doc, QWidget* parent, const QString& path);
// Writes the structure (record counts as the grids count them) to path as
// format, replacing a file only by the complete text.
bool writeStructureAs(const Document& doc, StructureExport format, const QString& path,
                      QString* error);
// Writes every segment as a text table to path, with a progress window that
// can stop it. A file is replaced only by a complete table (a failed or
// stopped output keeps the old file); a FIFO or a device is written in place.
bool writeSegmentsAsText(Document& doc, const QString& path, QWidget* progressParent,
                         QString* error);
// Removes every byte no field describes, after the caller's confirmation. On
// success the data and the structure are marked changed.
bool cutBlankInDocument(Document& doc, QWidget* progressParent, QString* error);
