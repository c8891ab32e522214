// Locates the Song/Ming CJK face for the outline-font labels through
// fontconfig. SimSun is the face the labels were designed for; the others
// are free faces of the same Song/Ming style.
#include <fontconfig/fontconfig.h>
#include <strings.h>

#include "platform/platform.h"

namespace {

const char* const song_families[] = {
    "SimSun",
    "NSimSun",
    "AR PL UMing CN",
    "AR PL UMing TW",
    "AR PL UMing HK",
    "Noto Serif CJK SC",
    "Source Han Serif SC",
    "AR PL SungtiL GB",
};

// True when pattern p names family (any of its family names, case-blind).
bool has_family(FcPattern* p, const char* family) {
    FcChar8* name = nullptr;
    for (int i = 0; FcPatternGetString(p, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
        if (strcasecmp(reinterpret_cast<const char*>(name), family) == 0) return true;
    }
    return false;
}

}  // namespace

bool platform_find_song_face(std::string* file, int* face_index, std::string* err) {
    if (!FcInit()) {
        if (err) *err = "font: fontconfig cannot start (package fontconfig)";
        return false;
    }
    bool found = false;
    for (const char* family : song_families) {
        FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>(family));
        if (!pat) continue;
        FcConfigSubstitute(nullptr, pat, FcMatchPattern);
        FcDefaultSubstitute(pat);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pat, &result);
        FcPatternDestroy(pat);
        if (!match) continue;
        // fontconfig always answers with its best guess; accept it only when
        // it really is the family asked for, not a Latin fallback.
        FcChar8* path = nullptr;
        int index = 0;
        if (has_family(match, family) &&
            FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
            if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
            *file = reinterpret_cast<const char*>(path);
            *face_index = index;
            found = true;
        }
        FcPatternDestroy(match);
        if (found) return true;
    }
    if (err) {
        *err = "font: no Song/Ming CJK TrueType face found (looked for SimSun, then AR PL UMing "
               "and equivalents); install the package fonts-arphic-uming";
    }
    return false;
}
