#pragma once

class Document;
class QWidget;

// Import C Struct (reset mode): the import dialog parses the header the user
// opens or pastes through the C import, lists its structs and previews the
// fields of the one picked; OK gives the current segment those fields and
// the struct's record length as one document operation, the description only.
void importCStructInto(Document& doc, QWidget* parent);
