#include "u_translations.h"

#ifdef _WIN32
#include <windows.h>
#endif

uint8_t LanguageIndex = 0;

namespace {

// Which system a row serves: the low 8 bits of the system default language identifier
// and the ANSI code page its texts are written in. Row 0 (English) serves every other system.
struct LanguageRow {
  uint8_t language;
  uint16_t codePage;
};

constexpr LanguageRow LanguageRows[LanguageCount] = {
    {0x00, 0},    {0x05, 1250}, {0x36, 1252}, {0x01, 1256}, {0x02, 1251}, {0x03, 1252},
    {0x06, 1252}, {0x07, 1252}, {0x08, 1253}, {0x0A, 1252}, {0x25, 1257}, {0x2D, 1252},
    {0x0B, 1252}, {0x0C, 1252}, {0x0D, 1255}, {0x1A, 1250}, {0x0E, 1250}, {0x0F, 1252},
    {0x10, 1252}, {0x11, 932},  {0x12, 949},  {0x27, 1257}, {0x26, 1257}, {0x13, 1252},
    {0x14, 1252}, {0x15, 1250}, {0x16, 1252}, {0x18, 1250}, {0x19, 1251}, {0x1B, 1250},
    {0x24, 1250}, {0x1C, 1250}, {0x1D, 1252}, {0x1E, 874},  {0x1F, 1254}, {0x22, 1251},
    {0x2A, 1258}, {0x04, 936},  {0x04, 950},
};

}  // namespace

// The texts are the bytes of each row's code page, written as octal escapes so that the
// source stays ASCII and no double-byte trail byte can be read as a backslash or quote.
// Vietnamese letters with two marks are a base letter plus a combining tone mark, as code
// page 1258 spells them.
const char* const TitleText[LanguageCount] = {
    "Initialization",  // English
    "Inicializace",  // Czech
    "Inisialisering",  // Afrikaans
    "\312\345\355\306\311",  // Arabic
    "\310\355\350\366\350\340\353\350\347\340\366\350\377",  // Bulgarian
    "Inicialitzaci\363",  // Catalan
    "Initialisering",  // Danish
    "Initialisierung",  // German
    "\320\361\357\345\364\357\351\354\341\363\337\341",  // Greek
    "Inicializaci\363n",  // Spanish
    "L\344htestamine",  // Estonian
    "Hasieratzea",  // Basque
    "Alustus",  // Finnish
    "Initialisation",  // French
    "\340\372\347\345\354",  // Hebrew
    "Inicijalizacija",  // Croatian
    "Inicializ\341l\341s",  // Hungarian
    "Frumstilling",  // Icelandic
    "Inizializzazione",  // Italian
    "\217\211\212\372\211\273",  // Japanese
    "\303\312\261\342\310\255",  // Korean
    "Inicijavimas",  // Lithuanian
    "Inicializ\342cija",  // Latvian
    "Initialisatie",  // Dutch
    "Initialisering",  // Norwegian
    "Inicjowanie",  // Polish
    "Inicializa\347\343o",  // Portuguese
    "Initializare",  // Romanian
    "\310\355\350\366\350\340\353\350\347\340\366\350\377",  // Russian
    "Inicializ\341cia",  // Slovak
    "Inicializacija",  // Slovenian
    "Fillimit",  // Albanian
    "Initialisering",  // Swedish
    "\241\322\303\340\265\303\325\302\301\343\252\351\247\322\271",  // Thai
    "Ba\376latma",  // Turkish
    "\262\355\263\366\263\340\353\263\347\340\366\263\377",  // Ukrainian
    "\320ang l\340m vi\352\362c",  // Vietnamese
    "\263\365\312\274\273\257",  // Chinese (Simplified)
    "\252\354\251l\244\306",  // Chinese (Traditional)
};

const char* const WaitText[LanguageCount] = {
    "Please wait",  // English
    "\310ekejte pros\355m",  // Czech
    "Wag asseblief",  // Afrikaans
    "\307\341\321\314\307\301 \307\341\307\344\312\331\307\321",  // Arabic
    "\314\356\353\377, \350\347\367\340\352\340\351\362\345",  // Bulgarian
    "Espera't",  // Catalan
    "Vent et \370jeblik",  // Danish
    "Bitte warten",  // German
    "\320\345\361\351\354\335\355\345\364\345",  // Greek
    "Espere",  // Spanish
    "Palun oodake",  // Estonian
    "Itxaron, mesedez",  // Basque
    "Odota",  // Finnish
    "Veuillez patienter",  // French
    "\360\340 \344\356\372\357",  // Hebrew
    "Molimo pri\350ekajte",  // Croatian
    "Kis t\374relmet",  // Hungarian
    "B\355ddu",  // Icelandic
    "Attendere",  // Italian
    "\202\250\221\322\202\277\202\255\202\276\202\263\202\242",  // Japanese
    "\261\342\264\331\267\301 \301\326\275\312\275\303\277\300",  // Korean
    "Palaukite",  // Lithuanian
    "L\373dzu, uzgaidiet",  // Latvian
    "Een ogenblik geduld",  // Dutch
    "Vent litt",  // Norwegian
    "Prosz\352 czeka\346",  // Polish
    "Aguarde",  // Portuguese
    "Asteptati",  // Romanian
    "\317\356\346\340\353\363\351\361\362\340, \357\356\344\356\346\344\350\362\345",  // Russian
    "\310akajte, pros\355m",  // Slovak
    "Prosimo, po\350akajte",  // Slovenian
    "T\353 lutem, prit",  // Albanian
    "V\344nta",  // Swedish
    "\342\273\303\264\303\315\312\321\241\244\303\331\350",  // Thai
    "L\374tfen bekleyin",  // Turkish
    "\307\340\367\345\352\340\351\362\345, \341\363\344\374 \353\340\361\352\340",  // Ukrainian
    "Vui Lo\314ng \320\365\362i",  // Vietnamese
    "\307\353\311\324\272\362",  // Chinese (Simplified)
    "\275\320\265y\255\324",  // Chinese (Traditional)
};

const char* const ExtractToText[LanguageCount] = {
    "Extract to",  // English
    "Extrahovat do",  // Czech
    "Ekstraheer na",  // Afrikaans
    "\307\323\312\316\321\307\314 \305\341\354",  // Arabic
    "\310\347\342\353\345\367\350 \342",  // Bulgarian
    "Extreu a",  // Catalan
    "Pak ud til",  // Danish
    "Extrahieren nach",  // German
    "\305\356\341\343\371\343\336 \363\345",  // Greek
    "Extraer en",  // Spanish
    "Ekstraktimiskoht",  // Estonian
    "Atera hona",  // Basque
    "Pura kohteeseen",  // Finnish
    "Extraire vers",  // French
    "\347\354\365 \340\354",  // Hebrew
    "Izdvoji u",  // Croatian
    "Kibont\341s",  // Hungarian
    "Draga \372t \355",  // Icelandic
    "Estrai in",  // Italian
    "\223W\212J\220\346",  // Japanese
    "\276\320\303\340 \307\256\261\342",  // Korean
    "I\360skleisti \341",  // Lithuanian
    "Kur izvilkt",  // Latvian
    "Uitpakken naar",  // Dutch
    "Pakk ut til",  // Norwegian
    "Wyodr\352bnij do",  // Polish
    "Extrair para",  // Portuguese
    "Extragere \356n",  // Romanian
    "\310\347\342\353\345\367\374 \342",  // Russian
    "Extrahova\235 do",  // Slovak
    "Ekstrahiraj v",  // Slovenian
    "Ekstrakto te",  // Albanian
    "Extrahera till",  // Swedish
    "\341\302\241\344\273\302\321\247",  // Thai
    "Ay\375kla",  // Turkish
    "\302\350\344\356\341\363\362\350 \344\356",  // Ukrainian
    "Gia\322i n\351n v\340o",  // Vietnamese
    "\275\342\321\271\313\365\265\275",  // Chinese (Simplified)
    "\270\321\300\243\301Y\246\334",  // Chinese (Traditional)
};

const char* const OverwriteText[LanguageCount] = {
    "Overwrite file?",  // English
    "P\370epsat soubor?",  // Czech
    "Overwrite file?",  // Afrikaans (English)
    "\307\341\337\312\307\310\311 \335\346\336 \343\341\335\277",  // Arabic
    "\307\340\357\350\361 \342\372\360\365\363 \364\340\351\353?",  // Bulgarian
    "Overwrite file?",  // Catalan (English)
    "Overskrivning af fil?",  // Danish
    "Datei \374berschreiben?",  // German
    "\301\355\364\351\352\341\364\334\363\364\341\363\347 \341\361\367\345\337\357\365;",  // Greek
    "Sobrescribir archivo?",  // Spanish
    "Kirjuta fail \374le?",  // Estonian
    "Overwrite file?",  // Basque (English)
    "Tiedoston korvaaminen?",  // Finnish
    "Remplacer le fichier?",  // French
    "\344\347\354\364\372 \367\345\341\365?",  // Hebrew
    "Pisanje preko datoteke?",  // Croatian
    "Fel\374l\355rja a f\341jlt?",  // Hungarian
    "Skrifa yfir skr\341?",  // Icelandic
    "Sovrascrivere il file?",  // Italian
    "\203t\203@\203C\203\213\202\360\217\343\217\221\202\253\202\265\202\334\202\267\202\251?",  // Japanese
    "\306\304\300\317\300\273 \265\244\276\356\276\262\275\303\260\332\275\300\264\317\261\356?",  // Korean
    "\301ra\360yti vietoj failo?",  // Lithuanian
    "Failu p\342rrakst\356\360ana?",  // Latvian
    "Bestand overschrijven?",  // Dutch
    "Overskriv fil?",  // Norwegian
    "Czy zast\271pi\346 plik?",  // Polish
    "Substituir ficheiro?",  // Portuguese
    "Suprascriere fi?ier?",  // Romanian
    "\317\345\360\345\347\340\357\350\361\340\362\374 \364\340\351\353?",  // Russian
    "Prep\355sa\235 s\372bor?",  // Slovak
    "Ali \236elite prepisati datoteko?",  // Slovenian
    "Overwrite file?",  // Albanian (English)
    "Vill du ers\344tta filen?",  // Swedish
    "\340\242\325\302\271\267\321\272\341\277\351\301",  // Thai
    "Dosyan\375n \374zerine yaz\375ls\375n m\375?",  // Turkish
    "\317\345\360\345\347\340\357\350\361\363\342\340\355\355\377 \364\340\351\353\363?",  // Ukrainian
    "Overwrite file?",  // Vietnamese (English)
    "\270\262\270\307\316\304\274\376?",  // Chinese (Simplified)
    "\270m\264\253\300\311\256\327",  // Chinese (Traditional)
};
uint8_t LanguageFor(uint16_t languageId, uint32_t codePage) {
  uint8_t language = static_cast<uint8_t>(languageId & 0xFF);
  for (uint8_t row = 1; row < LanguageCount; ++row) {
    if (LanguageRows[row].language == language && LanguageRows[row].codePage == codePage) return row;
  }
  return 0;
}

#ifdef _WIN32
// The system default language, not the user's interface language: the texts must be
// drawable in the system's ANSI code page, which follows the system locale.
void ChooseLanguage() { LanguageIndex = LanguageFor(GetSystemDefaultLangID(), GetACP()); }
#endif
