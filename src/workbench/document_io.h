// Between the scene document's JSON model (scene_document.cpp) and its files
// (document_files.cpp): the plain JSON form, the JSON with a `.vbin` buffer beside it, and
// the single-file `.vscb` form. Internal to the workbench's document code.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "support/file_io.h"
#include "workbench/document_buffer.h"
#include "workbench/scene_document.h"

namespace vorlan::workbench::docio {

// Finds the buffer that a document's "buffer" entry declares.
struct BufferOpener {
  std::string folder;  // the document's folder: relative paths inside it start there
  // Checks the declaration against the buffer and fills `out` (opening `file` where the
  // buffer is a file of its own). False with `error` (which starts with the JSON path).
  std::function<bool(const Json& decl, support::FileReader& file, docjson::BufferSource& out,
                     std::string& error)>
      open;
};

// The buffer of a JSON document: the `.vbin` file its "uri" names, beside the document.
BufferOpener BufferBeside(const std::string& documentPath);

// Reads a document's JSON text; all-or-nothing.
DocumentResult ParseDocument(std::string_view text, Scene& scene, const std::string& file,
                             const DocumentOptions& options, const BufferOpener& buffers);
// The document's JSON; arrays go to the buffer of the current docjson::DocumentScope, if any.
// Throws.
Json DocumentJson(const Scene& scene, const DocumentOptions& options);
std::string DocumentText(const Json& doc);
// The message for an exception thrown while writing.
std::string WriteError(const std::exception& e);

}  // namespace vorlan::workbench::docio
