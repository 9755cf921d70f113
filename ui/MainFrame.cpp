#include "ui/MainFrame.h"

wxQuorvaneFIN* mainFrame = nullptr;

wxQuorvaneFIN::wxQuorvaneFIN(wxWindow* parent, wxWindowID id, const wxString& title, const wxPoint& pos,
                             const wxSize& size, long style)
    : FIN(parent, id, title, pos, size, style) {}

// A window destroyed without its close handler leaves no sorting bound to it.
wxQuorvaneFIN::~wxQuorvaneFIN() { DisconnectSortHandlers(); }
