#pragma once

#include <string>
#include <vector>

struct TemplateInfo {
  // Names the template to delete: the file's stem for a built-in template, the file name (the
  // identifier it was imported under) for an imported one.
  std::wstring key;
  std::wstring templateName;  // the root's "template_name", empty when absent
  std::wstring pageSize;      // the root's "template_pagesize", empty when absent
  std::wstring path;
  bool builtIn = false;
};

class ITemplateConfigCallback {
 public:
  virtual void OnTemplateListChanged() = 0;

 protected:
  ~ITemplateConfigCallback() = default;
};

// The report templates: those shipped in the program folder first, then those the user imported
// into the configuration folder. UI thread only.
class ReportTemplateStore {
 public:
  // The process's store on <program>/report/Template/ and <config>/report/Template/.
  static ReportTemplateStore* GetInstance();

  // A store on the given folders (paths end in '/'); the imported folder is created when missing.
  ReportTemplateStore(std::string builtInFolder, std::string importedFolder);
  ReportTemplateStore(const ReportTemplateStore&) = delete;
  ReportTemplateStore& operator=(const ReportTemplateStore&) = delete;

  void AddListener(ITemplateConfigCallback* listener);
  void RemoveListener(ITemplateConfigCallback* listener);
  const std::vector<TemplateInfo>& GetTemplates() const { return templates_; }
  // Reads both folders again; tells nobody.
  void Reload();
  // Decrypts an encrypted template file and stores the plain layout document, named by a new
  // identifier, in the imported folder. False, with nothing written, when the file does not
  // decrypt to a layout document.
  bool ImportTemplate(const wchar_t* encryptedFilePath);
  // Removes the first imported template with the key, file and entry. False when there is none
  // or its file cannot be removed.
  bool DeleteTemplate(const wchar_t* key);
  void NotifyListeners();

  const std::string& ImportedFolder() const { return importedFolder_; }

 private:
  std::vector<ITemplateConfigCallback*> listeners_;
  std::vector<TemplateInfo> templates_;
  std::string importedFolder_;
  std::string builtInFolder_;
};
