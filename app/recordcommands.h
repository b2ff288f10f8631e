#pragma once

#include <QString>

#include "recordedits.h"

class Document;
class QWidget;

// Record insertion and deletion in the document's data file, after the
// record dialogs: the rewrite (with a progress window that can stop it), the
// segment's count and length, every later segment moved. On success the data
// and the structure are marked changed; on failure nothing has changed and
// error holds the reason.
bool addRecordsInDocument(Document& doc, vm::Segment& segment, const vm::AddRecordsRequest& request,
                          QWidget* progressParent, QString* error);
bool deleteRecordsInDocument(Document& doc, vm::Segment& segment,
                             const vm::DeleteRecordsRequest& request, QWidget* progressParent,
                             QString* error);
