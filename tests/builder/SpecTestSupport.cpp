#include "SpecTestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "flatfile.h"

TagFile::TagFile(const std::string& text) {
  FixedStringBuffer<260> path(fFolder.WriteFile("test.omk", text).c_str());
  FlatFile file;
  EXPECT_EQ(file.Open(path), 0);
  ReadMarkupFile(fList, &file);
  file.Close();
}

LogCapture::LogCapture() : fFile(std::tmpfile()), fOld(gLogStream) { gLogStream = fFile; }

LogCapture::~LogCapture() {
  gLogStream = fOld;
  if (fFile) std::fclose(fFile);
}

std::string LogCapture::Text() {
  std::string text;
  if (!fFile) return text;
  std::fflush(fFile);
  long end = std::ftell(fFile);
  std::rewind(fFile);
  text.resize(size_t(end));
  size_t got = std::fread(text.data(), 1, text.size(), fFile);
  text.resize(got);
  std::fseek(fFile, 0, SEEK_END);
  return text;
}

MorvikResult RunMorvik(const TestTempFolder& folder, const std::vector<std::string>& args) {
  std::string command = std::string("'") + MORVIK_PATH + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  const std::string errPath = folder / "stderr.txt";
  command += " >'" + (folder / "stdout.txt") + "' 2>'" + errPath + "'";
  int status = std::system(command.c_str());
  MorvikResult result;
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.log = TestTempFolder::ReadFile(errPath);
  return result;
}
