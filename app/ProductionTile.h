// One port's tile in the production view: a child window that paints the
// port, its state in large text with a symbol, the reason of a failed board
// and the last serial number and board time. Its window text is the port,
// state and last serial ("COM7 PASS 7003"), which a screen reader reads; a
// change of it is announced (EVENT_OBJECT_NAMECHANGE).
#pragma once

#include <windows.h>

#include "run/ProductionText.h"

class ProductionTile {
public:
    ProductionTile() = default;
    ProductionTile(const ProductionTile&) = delete;
    ProductionTile& operator=(const ProductionTile&) = delete;
    ~ProductionTile();

    bool Create(HWND parent, int id, const std::string& port);
    HWND Hwnd() const { return m_hwnd; }
    const run::Tile& State() const { return m_tile; }
    // Shows a record of the console for this tile's port.
    void Apply(const run::RunEvent& event, int language);
    // Shows the tile in another language.
    void Relabel(int language);
    // The fonts the tile paints with, owned by the view (large for the
    // state, small for the other lines).
    void SetFonts(HFONT large, HFONT small);

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void Paint(HDC dc);
    void Show(int language);

    HWND m_hwnd = nullptr;
    run::Tile m_tile;
    int m_language = 0;
    HFONT m_large = nullptr;
    HFONT m_small = nullptr;
};
