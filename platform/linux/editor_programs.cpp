#include "platform/linux/editor_programs.h"

#include <array>
#include <string_view>

namespace {

struct EditorProgram {
    std::string_view executable;
    std::string_view identifier;
};

// Exact paths only: a program of the same name elsewhere (in a user's own folder, say) is not
// taken for the editor.
constexpr std::array<EditorProgram, 8> kEditorPrograms{{
    {"/usr/bin/gimp-2.10", kGimpIdentifier},
    {"/usr/bin/gimp-console-2.10", kGimpIdentifier},
    {"/usr/local/bin/gimp-2.10", kGimpIdentifier},
    {"/usr/local/bin/gimp-console-2.10", kGimpIdentifier},
    {"/usr/bin/gimp-3.0", kGimp3Identifier},
    {"/usr/bin/gimp-console-3.0", kGimp3Identifier},
    {"/usr/local/bin/gimp-3.0", kGimp3Identifier},
    {"/usr/local/bin/gimp-console-3.0", kGimp3Identifier},
}};

}  // namespace

std::string editorProgramIdentifier(const std::string& executable) {
    for (const EditorProgram& program : kEditorPrograms) {
        if (program.executable == executable) {
            return std::string(program.identifier);
        }
    }
    return {};
}
