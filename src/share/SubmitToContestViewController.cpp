#include "share/SubmitToContestViewController.h"
#include "platform/foundation/Translation.h"
#include "share/ServicesHint.h"

#include "platform/ui/AlertView.h"
#include "platform/ui/Image.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "services/http/ServiceConfig.h"
#include "platform/ui/KeyTable.h"
#include "share/OverlayView.h"

namespace tx {

namespace {

constexpr double kSlideSeconds = 0.5;

// A form field that gives Tab and Escape to the form instead of the screen beneath it.
class FormField : public TextField {
public:
    FormField(const Rect& frame, std::function<bool(const KeyEvent&)> formKey)
        : TextField(frame), _formKey(std::move(formKey)) {}
    bool keyPressed(const KeyEvent& event) override {
        if (event.key == KeyEvent::Key::Tab || event.key == KeyEvent::Key::Escape) {
            return _formKey(event);
        }
        return TextField::keyPressed(event);
    }

private:
    std::function<bool(const KeyEvent&)> _formKey;
};

void showAlert(const std::string& message) {
    auto alert = std::make_shared<AlertView>("", message, std::weak_ptr<AlertViewDelegate>(), _("OK"),
                                             std::vector<std::string>{});
    alert->show();
}

} // namespace

void SubmitToContestViewController::loadView() {
    const double height = Screen::mainScreen().bounds().size.height;
    auto root = std::make_shared<OverlayView>(Rect(0, 0, 320, height));
    root->setBackgroundColor(theme::background());
    root->setKeyBindings([this](KeyTable& table) { addFormKeys(table); });
    _pBgImageView = std::make_shared<ImageView>(Rect(0, 0, 320, height));
    _pBgImageView->setImage(Image::imageNamed("contest_bg_640_1040"));
    _pBgImageView->setContentMode(ContentMode::ScaleAspectFill);
    root->addSubview(_pBgImageView);

    _backButton = std::make_shared<Button>(Rect(6, 8, 60, 30));
    _backButton->setImage(Image::imageNamed("back_btn_120_60"), ControlStateNormal);
    _backButton->setImage(Image::imageNamed("back_btn_P_120_60"), ControlStateHighlighted);
    _backButton->setAccessibilityLabel(_("Back"));
    _backButton->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onBack(); });
    root->addSubview(_backButton);

    auto intro = std::make_shared<Label>(Rect(30, 96, 260, 40));
    intro->setNumberOfLines(2);
    intro->setFont(Font::systemFont(14));
    intro->setTextColor(theme::secondaryText());
    intro->setText(_("Enter this movie in the contest. Your mail program sends the entry."));
    root->addSubview(intro);

    auto keyHandler = [this](const KeyEvent& event) { return formKey(event); };
    const char* placeholders[] = {N_("Title of your movie"), N_("Your name"),
                                  N_("Your e-mail address")};
    std::shared_ptr<TextField>* fields[] = {&_titleField, &_nameField, &_emailField};
    for (int i = 0; i < 3; ++i) {
        auto field = std::make_shared<FormField>(Rect(30, 148 + 50.0 * i, 260, 36), keyHandler);
        field->setBorderStyle(TextBorderStyle::RoundedRect);
        field->setPlaceholder(_(placeholders[i]));
        field->setFont(Font::systemFont(16));
        field->setReturnKeyType(i < 2 ? ReturnKeyType::Next : ReturnKeyType::Done);
        root->addSubview(field);
        *fields[i] = field;
    }

    _submitButton = std::make_shared<Button>(Rect(100, 312, 120, 40));
    _submitButton->setImage(Image::imageNamed("submit_btn_240_80"), ControlStateNormal);
    _submitButton->setImage(Image::imageNamed("submit_btn_P_240_80"), ControlStateHighlighted);
    _submitButton->setAccessibilityLabel(_("Submit"));
    _submitButton->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onSubmit(); });
    root->addSubview(_submitButton);
    setView(root);
}

void SubmitToContestViewController::viewDidLoad() {
    for (const auto& field : {_titleField, _nameField, _emailField}) {
        field->setDelegate(sharedAs<TextFieldDelegate>());
    }
    _submitButton->setEnabled(false);
    _titleField->becomeFirstResponder();
    _screenFrame = Screen::mainScreen().bounds();
    if (_screenFrame.height() <= 480) {
        _pBgImageView->setImage(Image::imageNamed(kShortScreenBackground));
    }
}

void SubmitToContestViewController::show() {
    Window* window = Window::keyWindow();
    if (window == nullptr || _reference) {
        return;
    }
    const ViewPtr& form = view();
    const double height = _screenFrame.height();
    _reference = sharedAs<SubmitToContestViewController>();
    form->setFrame(Rect(320, 0, 320, height));
    window->addSubview(form);
    _titleField->becomeFirstResponder();
    View::animate(kSlideSeconds, [form, height] { form->setFrame(Rect(0, 0, 320, height)); });
}

void SubmitToContestViewController::hide() {
    if (!_reference) {
        return;
    }
    const ViewPtr& form = view();
    if (Window* window = form->window(); window && window->firstResponder()) {
        window->firstResponder()->resignFirstResponder();
    }
    form->setUserInteractionEnabled(false);
    const double height = _screenFrame.height();
    View::animate(
        kSlideSeconds, [form, height] { form->setFrame(Rect(320, 0, 320, height)); },
        [this](bool) {
            view()->removeFromSuperview();
            view()->setUserInteractionEnabled(true);
            // The last reference: nothing of this object is used after it.
            auto self = std::move(_reference);
        });
}

std::string SubmitToContestViewController::mailBody(const std::string& title,
                                                    const std::string& name,
                                                    const std::string& email) {
    return title + "\n" + name + "\n" + email + "\n";
}

void SubmitToContestViewController::onSubmit() {
    if (!_submitButton->isEnabled()) {
        return;
    }
    const std::string& address = ServiceConfig::current().contestAddress;
    if (address.empty()) {
        showAlert(withArguments(_("No contest is configured: set address= under [contest] in %1."),
                                {servicesFileForDisplay()}));
        return;
    }
    auto composer = std::make_shared<MailComposer>();
    composer->setMailComposeDelegate(sharedAs<MailComposeDelegate>());
    composer->setToRecipients({address});
    composer->setSubject(kSubject);
    composer->addAttachment(_path, kAttachmentType, kAttachmentName);
    composer->setMessageBody(mailBody(_titleField->text(), _nameField->text(), _emailField->text()),
                             false);
    _lastComposer = composer;
    composer->present();
}

bool SubmitToContestViewController::textFieldShouldChangeCharacters(
    TextField& textField, Range range, const std::string& replacement) {
    const TextField* fields[] = {_titleField.get(), _nameField.get(), _emailField.get()};
    bool known = false;
    bool allFilled = true;
    for (const TextField* field : fields) {
        if (field == &textField) {
            known = true;
            std::string after = field->text();
            if (range.location <= after.size()) {
                after.replace(range.location, range.length, replacement);
            }
            allFilled = allFilled && !after.empty();
        } else {
            allFilled = allFilled && !field->text().empty();
        }
    }
    _submitButton->setEnabled(known && allFilled);
    return true;
}

bool SubmitToContestViewController::textFieldShouldReturn(TextField& textField) {
    focusNext(textField);
    return true;
}

void SubmitToContestViewController::focusNext(TextField& from) {
    if (&from == _titleField.get()) {
        _nameField->becomeFirstResponder();
    } else if (&from == _nameField.get()) {
        _emailField->becomeFirstResponder();
    } else {
        from.resignFirstResponder();
        // The form keeps the keys while it is up; a complete entry is one more Return away.
        if (_submitButton->isEnabled()) {
            _submitButton->becomeFirstResponder();
        } else {
            view()->becomeFirstResponder();
        }
    }
}

void SubmitToContestViewController::addFormKeys(KeyTable& table) {
    using Key = KeyEvent::Key;
    table.press({KeyChord::special(Key::Escape)}, _("Back to the share screen"), _backButton.get(),
                [this] { onBack(); });
    table.press({KeyChord::special(Key::Return)}, _("Send the entry"), _submitButton.get(),
                [this] { onSubmit(); });
}

bool SubmitToContestViewController::formKey(const KeyEvent& event) {
    KeyTable table;
    addFormKeys(table);
    return table.dispatch(event);
}

void SubmitToContestViewController::mailComposeControllerDidFinish(MailComposer&, MailComposeResult,
                                                                   const ErrorPtr&) {}

} // namespace tx
