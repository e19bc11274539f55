// Owners for the C libraries' handles the mail engine holds: every GObject, GLib string, libxml2
// parser and uchardet detector lives in a std::unique_ptr whose deleter is the library's own
// free or unref function, declared here once. Only src/mail/ includes this header.
#pragma once

#include <gmime/gmime.h>
#include <libxml/HTMLparser.h>
#include <uchardet/uchardet.h>

#include <memory>

namespace korvani::mail {

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
struct GFree {
  void operator()(gpointer memory) const { g_free(memory); }
};
struct HtmlParserFree {
  void operator()(htmlParserCtxtPtr parser) const { htmlFreeParserCtxt(parser); }
};
struct UchardetDelete {
  void operator()(uchardet_t detector) const { uchardet_delete(detector); }
};
struct ParserOptionsFree {
  void operator()(GMimeParserOptions* options) const { g_mime_parser_options_free(options); }
};

// A GObject-derived handle that this code owns one reference of.
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;
// A string GLib allocated for us.
using GCharPtr = std::unique_ptr<char, GFree>;
using HtmlParserPtr = std::unique_ptr<htmlParserCtxt, HtmlParserFree>;
using DetectorPtr = std::unique_ptr<std::remove_pointer_t<uchardet_t>, UchardetDelete>;
using ParserOptionsPtr = std::unique_ptr<GMimeParserOptions, ParserOptionsFree>;

// Takes over a reference the caller was given (a _new() or a construct function).
template <typename T>
GObjectPtr<T> adopt(T* object) {
  return GObjectPtr<T>(object);
}

// Adds a reference to a handle the library only lent us.
template <typename T>
GObjectPtr<T> retain(T* object) {
  if (object) g_object_ref(object);
  return GObjectPtr<T>(object);
}

}  // namespace korvani::mail
