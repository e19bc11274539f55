// Every include of src/ against the layer table of docs/architecture.md, and the reading of
// that table: a misread table would let any include through, so the checker is tried on small
// pages and trees of its own as well.
#include "architecture/layer_rules.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace korvani::architecture {
namespace {

std::string readText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ArchitectureTest, EveryIncludeOfTheSourcesKeepsToTheLayerTable) {
  const std::filesystem::path root = KORVANI_SOURCE_ROOT;
  std::string error;
  const auto rules = parseLayerRules(readText(root / "docs/architecture.md"), error);
  ASSERT_TRUE(rules) << "docs/architecture.md: " << error;
  // The page's table, not a table that was read as empty.
  for (const char* folder : {"platform", "common", "mail", "cli", "gui"}) {
    EXPECT_EQ(rules->mayInclude.count(folder), 1U) << folder;
  }
  EXPECT_GE(rules->libraries.size(), 5U);

  const std::vector<SourceFile> sources = readSources(root / "src");
  EXPECT_GT(sources.size(), 50U);
  std::string report;
  for (const std::string& breach : findBreaches(*rules, sources)) report += breach + "\n";
  EXPECT_EQ(report, "") << "Mend the include, or the table in docs/architecture.md if the "
                           "layers changed on purpose.";
}

constexpr const char* kPage = R"(# Architecture

## Layers

| folder | holds | may include |
|---|---|---|
| `src/base` | The bottom, `Base::thing` is here. | itself only |
| `src/one`, `src/two` | Workers. | `base` (each only itself) |
| `src/top` | The front end. | the workers (`src/one`, `two`), `base` |

| library | headers | only in |
|---|---|---|
| Qt | `Q`, `qt` | `src/top` |
| GLib | `glib`, `gio` | `src/one`, `src/base/names.cpp` |

## The path of a conversion

| folder | holds | may include |
|---|---|---|
| `src/later` | A table of another section is not read. | `top` |
)";

TEST(ArchitectureTest, EachBreachNamesTheFileTheLineAndTheInclude) {
  std::string error;
  const auto rules = parseLayerRules(kPage, error);
  ASSERT_TRUE(rules) << error;
  struct Case {
    const char* path;
    const char* text;
    const char* breach;  // empty: allowed
  } cases[] = {
      {"top/main.cpp", "#include \"one/a.h\"\n#include \"two/b.h\"\n#include \"base/c.h\"", ""},
      {"top/main.cpp", "#include \"top/main.h\"\n#include \"generated.inc\"", ""},
      {"one/a.cpp", "#include \"base/c.h\"\n  #  include \"one/a.h\"", ""},
      {"base/c.cpp", "// x\n#include \"one/a.h\"",
       "src/base/c.cpp:2: #include \"one/a.h\": src/base may not include src/one"},
      {"one/a.cpp", "#include \"two/b.h\"",
       "src/one/a.cpp:1: #include \"two/b.h\": src/one may not include src/two"},
      {"two/b.cpp", "#include \"top/main.h\"",
       "src/two/b.cpp:1: #include \"top/main.h\": src/two may not include src/top"},
      {"top/main.cpp", "#include \"later/x.h\"",
       "src/top/main.cpp:1: #include \"later/x.h\": later is no folder of the layer table"},
      {"top/main.cpp", "#include \"../secret.h\"",
       "src/top/main.cpp:1: #include \"../secret.h\": .. is no folder of the layer table"},
      {"top/w.cpp", "#include <QWidget>\n#include <qtconcurrentrun.h>\n#include <vector>", ""},
      {"one/a.cpp", "#include <QString>",
       "src/one/a.cpp:1: #include <QString>: Qt is only for its places"},
      {"one/deep/a.cpp", "#include <glib.h>\n#include <gio/gio.h>", ""},
      {"base/names.cpp", "#include <glib.h>", ""},
      {"base/names_test.cpp", "#include <glib.h>",
       "src/base/names_test.cpp:1: #include <glib.h>: GLib is only for its places"},
      {"onetwo/x.cpp", "#include <vector>", "src/onetwo: a folder with no row in the layer table"},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> breaches = findBreaches(*rules, {{c.path, c.text}});
    const std::vector<std::string> expected =
        *c.breach ? std::vector<std::string>{c.breach} : std::vector<std::string>{};
    EXPECT_EQ(breaches, expected) << c.path << "\n" << c.text;
  }
}

TEST(ArchitectureTest, AFolderWithoutARowIsNamedOnceAndAFolderWithoutSourcesIsNoBreach) {
  std::string error;
  const auto rules = parseLayerRules(kPage, error);
  ASSERT_TRUE(rules) << error;
  // src/two has a row and no sources here.
  EXPECT_EQ(findBreaches(*rules, {{"extra/a.cpp", ""}, {"extra/b.h", ""}, {"top/c.cpp", ""}}),
            std::vector<std::string>{"src/extra: a folder with no row in the layer table"});
}

TEST(ArchitectureTest, APageWhoseTablesCannotBeReadIsAnError) {
  struct Case {
    std::string page;
    const char* error;
  } cases[] = {
      {"# Architecture\n\n| folder | holds | may include |\n|---|---|---|\n| `src/a` | x | |\n",
       "no \"## Layers\" section"},
      {"## Layers\n\nThe folders are layered.\n",
       "no table with a \"may include\" column under "
       "\"## Layers\""},
      {"## Layers\n\n| folder | holds | may include |\n|---|---|---|\n| `src/a` | x | `b` |\n",
       "src/a may include \"b\", which has no row"},
      {"## Layers\n\n| folder | holds | may include |\n|---|---|---|\n| `src/a` | x | |\n",
       "no table with an \"only in\" column under \"## Layers\""},
      {"## Layers\n\n| folder | holds | may include |\n|---|---|---|\n| `src/a` | x | |\n\n"
       "| library | headers | only in |\n|---|---|---|\n| Qt | Q | `src/a` |\n",
       "the row of Qt names no headers or no place"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(parseLayerRules(c.page, error)) << c.page;
    EXPECT_EQ(error, c.error) << c.page;
  }
}

}  // namespace
}  // namespace korvani::architecture
