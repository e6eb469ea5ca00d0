#pragma once
// Where drawing takes roads of its own instead of handing a shape to cairo as it stands: heavy
// fills and strokes thinned or laid from kept coverage, heavy fills handed each tile only the
// edges that can reach it, shadows blurred on coarse cells or taken
// from kept masks, masks laid over the picture by hand, the planes of a shadow kept for the next.
// Each is meant to give cairo's own pixels (a wide shadow's cells: within a stated tolerance of
// the blur at full resolution), and a test that draws the same boards both ways holds them to it.
//
// One switch for the process, on by default. Off, every shape goes to cairo as it is and every
// shadow is blurred at full resolution from planes of its own; only the roads that keep cairo
// from hanging, crashing or drawing wrongly (pens and dashes cut to what cairo can draw, the
// outline of a round pen wider than its path) stay.

namespace dv::gfx {

/// Whether the roads above are taken.
bool shortcutsTaken();

/// Switches them for every context of the process; meant for tests, between pictures.
void takeShortcuts(bool taken);

/// Switches them for the life of the object and back again after.
class ShortcutsTaken {
public:
    explicit ShortcutsTaken(bool taken) : before_(shortcutsTaken()) { takeShortcuts(taken); }
    ~ShortcutsTaken() { takeShortcuts(before_); }
    ShortcutsTaken(const ShortcutsTaken&) = delete;
    ShortcutsTaken& operator=(const ShortcutsTaken&) = delete;

private:
    bool before_;
};

} // namespace dv::gfx
