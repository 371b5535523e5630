// Builds a control tree from a layout: the XML text itself (a name that
// starts with "<"), or a skin file read through SkinStore. The root element
// "Window" gives the window attributes and fonts to the paint manager.
#pragma once

#include <memory>
#include <string>

#include "ui/control.h"
#include "ui/markup.h"

namespace ui {

class PaintManager;

class IControlFactory {
public:
    virtual std::unique_ptr<Control> CreateControl(const std::wstring& tag) = 0;

protected:
    ~IControlFactory() = default;
};

class LayoutBuilder {
public:
    // Null on refusal (see LastError): nothing is applied to the manager.
    std::unique_ptr<Control> Create(const std::wstring& nameOrXml, IControlFactory* factory = nullptr,
                                    PaintManager* manager = nullptr);
    const std::wstring& LastError() const { return error_; }
    const MarkupReader& GetMarkup() const { return markup_; }

    // A control of one of the framework's own tags, or null.
    static std::unique_ptr<Control> CreateBuiltin(const std::wstring& tag);

private:
    std::unique_ptr<Control> Build(const MarkupNode& node, IControlFactory* factory, int depth);
    void ApplyWindow(const MarkupNode& window, PaintManager* manager);

    MarkupReader markup_;
    std::wstring error_;
};

}  // namespace ui
