// The translation table: which system gets which row, and every byte of every text,
// decoded from the row's code page with the host's iconv and compared with the texts as
// they must read.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <string>

#include "u_translations.h"

namespace {

struct ExpectedRow {
  uint16_t language;  // low byte of the system default language; 0 for English
  uint32_t codePage;  // 0 for English
  const char* texts[4];  // UTF-8
};

// Written out by hand from the customer's list, including its flaws: the missing
// diacritics, the question mark standing for a letter in Romanian, and the missing
// question marks in Thai and traditional Chinese.
const ExpectedRow Expected[LanguageCount] = {
    {0, 0, {"Initialization", "Please wait", "Extract to", "Overwrite file?"}},  // 0
    {0x05, 1250, {"Inicializace", "Čekejte prosím", "Extrahovat do", "Přepsat soubor?"}},  // 1
    {0x36, 1252, {"Inisialisering", "Wag asseblief", "Ekstraheer na", "Overwrite file?"}},  // 2
    {0x01, 1256, {"تهيئة", "الرجاء الانتظار", "استخراج إلى", "الكتابة فوق ملف؟"}},  // 3
    {0x02, 1251, {"Инициализация", "Моля, изчакайте", "Извлечи в", "Запис върху файл?"}},  // 4
    {0x03, 1252, {"Inicialització", "Espera't", "Extreu a", "Overwrite file?"}},  // 5
    {0x06, 1252, {"Initialisering", "Vent et øjeblik", "Pak ud til", "Overskrivning af fil?"}},  // 6
    {0x07, 1252, {"Initialisierung", "Bitte warten", "Extrahieren nach", "Datei überschreiben?"}},  // 7
    {0x08, 1253, {"Προετοιμασία", "Περιμένετε", "Εξαγωγή σε", "Αντικατάσταση αρχείου;"}},  // 8
    {0x0A, 1252, {"Inicialización", "Espere", "Extraer en", "Sobrescribir archivo?"}},  // 9
    {0x25, 1257, {"Lähtestamine", "Palun oodake", "Ekstraktimiskoht", "Kirjuta fail üle?"}},  // 10
    {0x2D, 1252, {"Hasieratzea", "Itxaron, mesedez", "Atera hona", "Overwrite file?"}},  // 11
    {0x0B, 1252, {"Alustus", "Odota", "Pura kohteeseen", "Tiedoston korvaaminen?"}},  // 12
    {0x0C, 1252, {"Initialisation", "Veuillez patienter", "Extraire vers", "Remplacer le fichier?"}},  // 13
    {0x0D, 1255, {"אתחול", "נא המתן", "חלץ אל", "החלפת קובץ?"}},  // 14
    {0x1A, 1250, {"Inicijalizacija", "Molimo pričekajte", "Izdvoji u", "Pisanje preko datoteke?"}},  // 15
    {0x0E, 1250, {"Inicializálás", "Kis türelmet", "Kibontás", "Felülírja a fájlt?"}},  // 16
    {0x0F, 1252, {"Frumstilling", "Bíddu", "Draga út í", "Skrifa yfir skrá?"}},  // 17
    {0x10, 1252, {"Inizializzazione", "Attendere", "Estrai in", "Sovrascrivere il file?"}},  // 18
    {0x11, 932, {"初期化", "お待ちください", "展開先", "ファイルを上書きしますか?"}},  // 19
    {0x12, 949, {"초기화", "기다려 주십시오", "압축 풀기", "파일을 덮어쓰시겠습니까?"}},  // 20
    {0x27, 1257, {"Inicijavimas", "Palaukite", "Išskleisti į", "Įrašyti vietoj failo?"}},  // 21
    {0x26, 1257, {"Inicializācija", "Lūdzu, uzgaidiet", "Kur izvilkt", "Failu pārrakstīšana?"}},  // 22
    {0x13, 1252, {"Initialisatie", "Een ogenblik geduld", "Uitpakken naar", "Bestand overschrijven?"}},  // 23
    {0x14, 1252, {"Initialisering", "Vent litt", "Pakk ut til", "Overskriv fil?"}},  // 24
    {0x15, 1250, {"Inicjowanie", "Proszę czekać", "Wyodrębnij do", "Czy zastąpić plik?"}},  // 25
    {0x16, 1252, {"Inicialização", "Aguarde", "Extrair para", "Substituir ficheiro?"}},  // 26
    {0x18, 1250, {"Initializare", "Asteptati", "Extragere în", "Suprascriere fi?ier?"}},  // 27
    {0x19, 1251, {"Инициализация", "Пожалуйста, подождите", "Извлечь в", "Перезаписать файл?"}},  // 28
    {0x1B, 1250, {"Inicializácia", "Čakajte, prosím", "Extrahovať do", "Prepísať súbor?"}},  // 29
    {0x24, 1250, {"Inicializacija", "Prosimo, počakajte", "Ekstrahiraj v", "Ali želite prepisati datoteko?"}},  // 30
    {0x1C, 1250, {"Fillimit", "Të lutem, prit", "Ekstrakto te", "Overwrite file?"}},  // 31
    {0x1D, 1252, {"Initialisering", "Vänta", "Extrahera till", "Vill du ersätta filen?"}},  // 32
    {0x1E, 874, {"การเตรียมใช้งาน", "โปรดรอสักครู่", "แยกไปยัง", "เขียนทับแฟ้ม"}},  // 33
    {0x1F, 1254, {"Başlatma", "Lütfen bekleyin", "Ayıkla", "Dosyanın üzerine yazılsın mı?"}},  // 34
    {0x22, 1251, {"Ініціалізація", "Зачекайте, будь ласка", "Видобути до", "Перезаписування файлу?"}},  // 35
    {0x2A, 1258, {"Đang làm việc", "Vui Lòng Đợi", "Giải nén vào", "Overwrite file?"}},  // 36
    {0x04, 936, {"初始化", "请稍候", "解压缩到", "覆盖文件?"}},  // 37
    {0x04, 950, {"初始化", "請稍候", "解壓縮至", "置換檔案"}},  // 38
};

std::string Decode(const std::string& bytes, uint32_t codePage) {
  std::string from = "CP" + std::to_string(codePage ? codePage : 1252);
  iconv_t converter = iconv_open("UTF-8", from.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return "<no converter for " + from + ">";
  std::string in = bytes;
  std::string out(in.size() * 4 + 16, '\0');
  char* inPointer = &in[0];
  size_t inLeft = in.size();
  char* outPointer = &out[0];
  size_t outLeft = out.size();
  size_t result = iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft);
  // Flush a combining mark the converter may still hold back.
  if (result != static_cast<size_t>(-1)) iconv(converter, nullptr, nullptr, &outPointer, &outLeft);
  iconv_close(converter);
  if (result == static_cast<size_t>(-1)) return "<invalid in " + from + ">";
  out.resize(out.size() - outLeft);
  return out;
}

const TextList* Tables[4] = {&TitleText, &WaitText, &ExtractToText, &OverwriteText};
const char* TableNames[4] = {"TitleText", "WaitText", "ExtractToText", "OverwriteText"};

TEST(Translations, EveryTextDecodesFromItsCodePageToTheListedText) {
  for (int row = 0; row < LanguageCount; ++row) {
    for (int table = 0; table < 4; ++table) {
      std::string bytes = (*Tables[table])[row];
      EXPECT_EQ(Decode(bytes, Expected[row].codePage), Expected[row].texts[table])
          << TableNames[table] << " of row " << row;
    }
  }
}

TEST(Translations, EveryRowIsChosenByItsLanguageAndCodePage) {
  for (int row = 1; row < LanguageCount; ++row) {
    EXPECT_EQ(LanguageFor(Expected[row].language, Expected[row].codePage), row) << row;
    // Only the low 8 bits count: the sublanguage and the high bits of the primary id do not.
    uint16_t withSublanguage = static_cast<uint16_t>(0x0400 | Expected[row].language);
    EXPECT_EQ(LanguageFor(withSublanguage, Expected[row].codePage), row) << row;
    EXPECT_EQ(LanguageFor(static_cast<uint16_t>(0xFF00 | Expected[row].language), Expected[row].codePage), row);
  }
  EXPECT_EQ(LanguageFor(0x0407, 1252), 7);   // German
  EXPECT_EQ(LanguageFor(0x0804, 936), 37);   // Chinese, simplified
  EXPECT_EQ(LanguageFor(0x0404, 950), 38);   // Chinese, traditional
  EXPECT_EQ(LanguageFor(0x041A, 1250), 15);  // Croatian
  EXPECT_EQ(LanguageFor(0x081A, 1250), 15);  // Serbian (Latin) shares the primary id
  EXPECT_EQ(LanguageFor(0x0C1A, 1251), 0);   // Serbian (Cyrillic) has no row of its code page
}

TEST(Translations, MismatchesAndUnknownLanguagesGiveEnglish) {
  EXPECT_EQ(LanguageFor(0x0409, 1252), 0);  // English itself
  EXPECT_EQ(LanguageFor(0x0419, 1252), 0);  // Russian with a western code page
  EXPECT_EQ(LanguageFor(0x0407, 1250), 0);  // German with a central European code page
  EXPECT_EQ(LanguageFor(0x0411, 1252), 0);  // Japanese without its code page
  EXPECT_EQ(LanguageFor(0x0804, 950), 38);  // the code page alone picks among the Chinese rows
  EXPECT_EQ(LanguageFor(0x0404, 1252), 0);
  EXPECT_EQ(LanguageFor(0x0439, 1252), 0);  // Hindi
  EXPECT_EQ(LanguageFor(0x0439, 0), 0);     // Hindi has no ANSI code page at all
  EXPECT_EQ(LanguageFor(0x0429, 1256), 0);  // Persian shares Arabic's code page, not its row
  EXPECT_EQ(LanguageFor(0x0000, 0), 0);
  EXPECT_EQ(LanguageFor(0x0000, 1252), 0);
  EXPECT_EQ(LanguageFor(0x0405, 1250 + 65536), 0);  // the code page is compared in full
}

}  // namespace
