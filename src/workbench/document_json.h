// Checked access to the JSON of scene documents, shared by the document reader, the writer
// and the material codec. Readers throw DocumentError with the JSON path of the fault; the
// document functions catch it and turn it into their result, so it never leaves the module.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host/ids.h"
#include "host/math3d.h"
#include "workbench/scene_document.h"

namespace vorlan::workbench::docjson {

class DocumentError : public std::runtime_error {
 public:
  DocumentError(const std::string& path, const std::string& what) : std::runtime_error(path + ": " + what) {}
};

// Path helpers: "nodes" + 3 -> "nodes[3]", "nodes[3]" + "name" -> "nodes[3].name".
std::string At(const std::string& path, std::size_t index);
std::string Key(const std::string& path, std::string_view key);

[[noreturn]] void Fail(const std::string& path, const std::string& what);

// Type checks; they return the value or throw.
const Json& Object(const Json& j, const std::string& path);
const Json& Array(const Json& j, const std::string& path);
// An array of exactly `n` entries.
const Json& ArrayOf(const Json& j, const std::string& path, std::size_t n);
std::string String(const Json& j, const std::string& path);
bool Bool(const Json& j, const std::string& path);  // true/false or 0/1
// A float: a number within the float range, or "nan", "inf", "-inf".
float Float(const Json& j, const std::string& path);
double Double(const Json& j, const std::string& path);
int Int(const Json& j, const std::string& path);
// An unsigned 32-bit value: a number, or a string "0x..." in hexadecimal.
uint32_t U32(const Json& j, const std::string& path);
// An index below `limit`; `table` names what it indexes, in the plural ("vertices").
uint32_t Index(const Json& j, const std::string& path, std::size_t limit, const char* table);
host::Point3 Point(const Json& j, const std::string& path);
host::ClassId ClassIdOf(const Json& j, const std::string& path);  // [a, b]
// Refuses keys other than those listed (typing mistakes would otherwise go unnoticed).
// Sets entry `tab` of a parameter from JSON by the parameter's type. Node parameters are the
// caller's to resolve (they name nodes that may come later): returns false for them.
bool ReadParamValue(ParamBlockImpl& pb, int param, int tab, const Json& v, const std::string& path);

// Entry `tab` of a parameter as JSON by the parameter's type. Node parameters are the
// caller's to write (objects name the node, materials have none): returns nothing for them.
std::optional<Json> WriteParamValue(const ParamBlockImpl& pb, int param, int tab);

void OnlyKeys(const Json& object, const std::string& path, std::initializer_list<std::string_view> keys);
// The member or null when absent.
const Json* Find(const Json& object, std::string_view key);

// Writers.
Json FloatJson(float f);  // shortest text that reads back as the same float
Json PointJson(host::Point3 p);
Json HexJson(uint32_t v);  // "0x0000ABCD"
Json ClassIdJson(host::ClassId id);

// Byte chunks as text.
std::string ToHex(const std::vector<uint8_t>& bytes);
std::string ToBase64(const std::vector<uint8_t>& bytes);
// False on a malformed text.
bool FromHex(std::string_view text, std::vector<uint8_t>& out);
bool FromBase64(std::string_view text, std::vector<uint8_t>& out);

// Refuses a text (a string value or a key) anywhere in `j` that holds a NUL character: the
// files the pipeline writes end their texts at the first NUL, so the rest would be lost
// without a word. The message names the JSON path.
void RefuseNulTexts(const Json& j, const std::string& path);

// The deepest nesting of arrays and objects in a JSON text, without parsing it; stops
// counting at `limit` + 1.
int NestingDepth(std::string_view text, int limit);

}  // namespace vorlan::workbench::docjson
