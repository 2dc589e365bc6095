// The descriptions Kdenlive and Shotcut need to list the frei0r filter in their effect menus and
// draw its panel, generated from the parameter catalogue through the frei0r parameter list (never
// written by hand): `threeway-frei0r-table --editors DIR` writes them, the build puts them in
// build/editors/, and scripts/install-editor-effects installs them for the current user.
//
// The panel: every frei0r parameter a user sets by hand, in catalogue order, under the groups of
// the effect's own panel (the groups that panel draws as custom controls, the range balances and
// master levels, shown as plain groups). Left out: parameters the panel hides, and the Auto Levels
// group, whose buttons act on the histogram of the frame an instance rendered last and whose gray
// eyedropper on the levels at the moment of the pick: an editor renders in a separate, fresh
// instance, which cannot repeat either. The balance colours are colour controls; their picks and
// the balance sliders they write follow frei0r/instance.h's rule (defaults keep a pick).
//
// Values: what the editors store is frei0r's 0..1 (frei0r/param_map.h); their controls show the
// parameter's own units (sliders their range, angles -180..180 degrees, popups their choices).
//   Kdenlive  effects/frei0r_threeway.xml: one <parameter> per control, in order. Kdenlive 22.12
//             has no sections, so a label names its group unless the control's own name already
//             does. A slider shows factor x value with factor = the range's width; Kdenlive 22.12
//             ignores an offset, so a range that does not start at 0 (angles, gains, edge
//             thinning, gray and white levels) is shown from 0 and its label says so ("Shadow
//             Hue Angle (0..360 = -180..180)"). Sliders are not keyframable ("constant"): Kdenlive
//             draws keyframable controls apart from the others, which would break up the groups.
//   Shotcut   filters/threeway/meta_threeway.qml (the menu entry) and ui_threeway.qml (the panel:
//             the table of controls below the generated header, drawn by a fixed QML body).
#pragma once

#include <string>
#include <vector>

#include "frei0r/param_map.h"

namespace threeway::frei0r {

struct EditorControl {
  const PluginParam* param;
  std::vector<std::string> groups;  // the non-blank group names around it, outermost first, a
                                    // group named like the one around it counted once
  std::string title;                // ParamTitle
  std::string label;                // the title, prefixed "Group: " where it does not name its group
};

// The controls of the editors' panels, in panel order.
std::vector<EditorControl> EditorControls();

struct EditorFile {
  std::string path;  // relative: "kdenlive/effects/...", "shotcut/filters/threeway/..."
  std::string text;
};

std::string KdenliveEffect();
std::string ShotcutMeta();
std::string ShotcutUi();
// The three files with their paths.
std::vector<EditorFile> EditorFiles();

}  // namespace threeway::frei0r
