#pragma once

// Drawings as DXF files: reading a file into an in-memory drawing and
// writing an in-memory drawing back, losslessly. What the host models is
// interpreted (header variables it uses, layers, coordinate systems, the
// active viewport, registered applications, blocks, and the entities the
// operations read or write); everything else is kept as read and written
// back in its place.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dxf/tags.h"
#include "host/host.h"

namespace palvane::dxf {

// Reads `bytes` (ASCII or binary DXF, R12 to 2018) as a drawing named `name`
// of `app`, an in-memory application. The drawing is not opened; on bad input
// a DxfError names the line or byte offset, and nothing is left behind.
host::Ref<host::Document> ReadDrawing(host::Application& app, std::string_view bytes,
                                      const std::string& name);
// The same, keeping `bytes` without a copy.
host::Ref<host::Document> ReadDrawing(host::Application& app, std::string bytes,
                                      const std::string& name);

// Writes `doc` (an in-memory drawing) in the version and form it was read in;
// a drawing made by Documents.Add is written as ASCII 2013 (AC1027).
// `binary` overrides the form.
std::string WriteDrawing(host::Document& doc, std::optional<bool> binary = {});

// Makes a new, empty in-memory drawing the project's minimal template: what
// Documents.Add applies when drawings are meant to be saved.
void ApplyTemplate(host::Document& doc);

// A new in-memory application whose new drawings are made from the template.
std::shared_ptr<host::Application> NewApplication();

// The file format version a drawing will be written in, such as "AC1027".
std::string VersionOf(host::Document& doc);

}  // namespace palvane::dxf
