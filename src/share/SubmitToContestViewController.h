// The contest entry form: the movie's title, the user's name and e-mail address. It slides in
// over the share screen; Submit hands a mail with the three entries and the movie to the user's
// mail program, addressed to the contest. It keeps itself alive while it is on screen.
#pragma once

#include "platform/system/MailComposer.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"

#include <memory>
#include <string>

namespace tx {

class SubmitToContestViewController : public ViewController,
                                      public TextFieldDelegate,
                                      public MailComposeDelegate {
public:
    static constexpr const char* kSubject = "Contest Submit";
    static constexpr const char* kAttachmentName = "ContestMovie.mov";
    static constexpr const char* kAttachmentType = "video/quicktime";
    static constexpr const char* kShortScreenBackground = "contest_bg_640_864@2x.png";

    const std::string& path() const { return _path; }
    void setPath(std::string path) { _path = std::move(path); }

    void loadView() override;
    void viewDidLoad() override;

    // Slides the form in over the key window / out again, after which it lets go of itself.
    void show();
    void hide();
    void onSubmit();
    void onBack() { hide(); }

    // The mail's body: the three entries, one a line.
    static std::string mailBody(const std::string& title, const std::string& name,
                                const std::string& email);

    bool textFieldShouldChangeCharacters(TextField& textField, Range range,
                                         const std::string& replacement) override;
    bool textFieldShouldReturn(TextField& textField) override;
    void mailComposeControllerDidFinish(MailComposer& composer, MailComposeResult result,
                                        const ErrorPtr& error) override;

    const std::shared_ptr<TextField>& titleField() const { return _titleField; }
    const std::shared_ptr<TextField>& nameField() const { return _nameField; }
    const std::shared_ptr<TextField>& emailField() const { return _emailField; }
    const std::shared_ptr<Button>& submitButton() const { return _submitButton; }
    const std::shared_ptr<Button>& backButton() const { return _backButton; }
    const std::shared_ptr<ImageView>& pBgImageView() const { return _pBgImageView; }
    const Rect& screenFrame() const { return _screenFrame; }
    bool isShown() const { return _reference != nullptr; }
    // The last mail handed over, for tests.
    const MailComposerPtr& lastComposer() const { return _lastComposer; }

private:
    // Tab and Return move through the fields; Escape goes back.
    bool formKey(const KeyEvent& event);
    void addFormKeys(KeyTable& table);
    void focusNext(TextField& from);

    std::string _path;
    std::shared_ptr<TextField> _titleField;
    std::shared_ptr<TextField> _nameField;
    std::shared_ptr<TextField> _emailField;
    std::shared_ptr<Button> _submitButton;
    std::shared_ptr<Button> _backButton;
    std::shared_ptr<ImageView> _pBgImageView;
    std::shared_ptr<SubmitToContestViewController> _reference;
    Rect _screenFrame;
    MailComposerPtr _lastComposer;
};

} // namespace tx
