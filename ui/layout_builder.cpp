#include "ui/layout_builder.h"

#include <cwchar>

#include "shell/diagnostic.h"
#include "ui/browser.h"
#include "ui/controls.h"
#include "ui/native_controls.h"
#include "ui/paint_manager.h"
#include "ui/platform.h"
#include "ui/skin_store.h"

namespace ui {

std::unique_ptr<Control> LayoutBuilder::CreateBuiltin(const std::wstring& tag) {
    if (tag == L"Control") return std::make_unique<Control>();
    if (tag == L"Container") return std::make_unique<Container>();
    if (tag == L"VerticalLayout") return std::make_unique<VerticalLayout>();
    if (tag == L"HorizontalLayout") return std::make_unique<HorizontalLayout>();
    if (tag == L"Label") return std::make_unique<Label>();
    if (tag == L"FormattedText") return std::make_unique<FormattedText>();
    if (tag == L"Button") return std::make_unique<Button>();
    if (tag == L"Option") return std::make_unique<Option>();
    if (tag == L"Edit") return std::make_unique<Edit>();
    if (tag == L"RichEdit") return std::make_unique<RichEdit>();
    if (tag == L"List") return std::make_unique<List>();
    if (tag == L"ListElement") return std::make_unique<ListElement>();
    if (tag == L"Gif") return std::make_unique<Gif>();
    if (tag == L"WebBrowser") return std::make_unique<BrowserControl>();
    return nullptr;
}

std::unique_ptr<Control> LayoutBuilder::Create(const std::wstring& nameOrXml, IControlFactory* factory,
                                               PaintManager* manager) {
    error_.clear();
    std::string bytes;
    if (!nameOrXml.empty() && nameOrXml[0] == L'<') {
        bytes = Utf16ToUtf8(nameOrXml);
        if (bytes.size() > kMaxSkinFileSize) {
            error_ = L"File too large";
            return nullptr;
        }
    } else if (!SkinStore::ReadFile(nameOrXml, &bytes, &error_)) {
        shell::Diagnostic(L"ui: layout " + nameOrXml + L": " + error_);
        return nullptr;
    }
    if (!markup_.Parse(bytes)) {
        error_ = L"Could not parse layout: " + Utf8ToUtf16(markup_.Error());
        shell::Diagnostic(L"ui: " + error_);
        return nullptr;
    }
    const MarkupNode& root = markup_.Root();
    const MarkupNode* top = &root;
    if (root.name == L"Window") {
        top = nullptr;
        for (const MarkupNode& child : root.children) {
            if (child.name != L"Font") {
                top = &child;
                break;
            }
        }
    }
    std::unique_ptr<Control> tree = top ? Build(*top, factory, 0) : nullptr;
    if (!tree) {
        if (error_.empty()) error_ = L"Layout has no controls";
        return nullptr;
    }
    if (manager != nullptr && root.name == L"Window") ApplyWindow(root, manager);
    return tree;
}

void LayoutBuilder::ApplyWindow(const MarkupNode& window, PaintManager* manager) {
    for (const auto& [key, value] : window.attributes) {
        RECT rc{};
        SIZE sz{};
        const UINT dpi = manager->GetDpi();
        if (key == L"size" && ParseSize(value, &sz)) manager->SetInitSize(ScaleBy(sz.cx, dpi), ScaleBy(sz.cy, dpi));
        else if (key == L"caption" && ParseRect(value, &rc)) manager->SetCaptionRect(rc);
        else if (key == L"sizebox" && ParseRect(value, &rc)) manager->SetSizeBox(rc);
        else if (key == L"mininfo" && ParseSize(value, &sz)) manager->SetMinInfo(ScaleBy(sz.cx, dpi), ScaleBy(sz.cy, dpi));
        else if (key == L"maxinfo" && ParseSize(value, &sz)) manager->SetMaxInfo(ScaleBy(sz.cx, dpi), ScaleBy(sz.cy, dpi));
        else if (key == L"roundcorner" && ParseSize(value, &sz)) manager->SetRoundCorner(sz.cx, sz.cy);
        else if (key == L"textcolor") manager->SetDefaultColors(ParseColor(value), 0, 0, 0);
        else if (key == L"disabledtextcolor") manager->SetDefaultColors(0, ParseColor(value), 0, 0);
        else if (key == L"linkcolor") manager->SetDefaultColors(0, 0, ParseColor(value), 0);
        else if (key == L"linkhovercolor") manager->SetDefaultColors(0, 0, 0, ParseColor(value));
    }
    for (const MarkupNode& child : window.children) {
        if (child.name != L"Font") continue;
        const std::wstring* face = child.Attribute(L"name");
        const std::wstring* size = child.Attribute(L"size");
        auto flag = [&](const wchar_t* key) {
            const std::wstring* v = child.Attribute(key);
            return v != nullptr && ParseBool(*v);
        };
        manager->AddFont(face ? *face : L"", size ? static_cast<int>(std::wcstol(size->c_str(), nullptr, 10)) : 12,
                         flag(L"bold"), flag(L"underline"), flag(L"italic"), flag(L"default"));
    }
}

std::unique_ptr<Control> LayoutBuilder::Build(const MarkupNode& node, IControlFactory* factory, int depth) {
    std::unique_ptr<Control> control = CreateBuiltin(node.name);
    if (!control && factory != nullptr) control = factory->CreateControl(node.name);
    if (!control) {
        shell::Diagnostic(L"ui: unknown control tag " + node.name);
        return nullptr;
    }
    for (const auto& [key, value] : node.attributes) control->SetAttribute(key, value);
    if (node.children.empty()) return control;
    auto* container = dynamic_cast<Container*>(control.get());
    if (container == nullptr) return control;
    for (const MarkupNode& child : node.children) {
        if (auto built = Build(child, factory, depth + 1)) container->Add(std::move(built));
    }
    return control;
}

}  // namespace ui
