// The story's own rows, kept together so the prose reads as prose. Every row
// is shorter than 80 characters so none of them wraps.
#pragma once

namespace quendrel::story {

// ---------------------------------------------------------------- intro

inline constexpr const char* kIntroFirst[5] = {
    "The storm has followed you all the way from the coast. You are flying to",
    "the first national detective conference, where the talk of the weekend",
    "will be the fine art of speaking with suspects. At this hour the flight",
    "is nearly empty: besides you there are only four other passengers, each",
    "keeping to a seat of their own, far apart in the dim cabin.",
};

inline constexpr const char* kIntroSecond[4] = {
    "Somewhere over the hills the plane drops into turbulence. For a moment",
    "the lights go out. In the dark a woman screams. When the lights flicker",
    "back, a man lies murdered at the back of the cabin. You have no badge up",
    "here and no backup, but you have thirty minutes. Time to solve the crime.",
};

inline constexpr const char* kPressToContinue = "Press any key to Continue...";
inline constexpr const char* kPressAnyKey = "PRESS ANY KEY...";

// ---------------------------------------------------------------- banner

inline constexpr const char* kSeriesTitle = "Tallowby";
inline constexpr const char* kCredit = "Written by: E. J. Marlowe";
inline constexpr const char* kEpisode = "Episode Ten:";
inline constexpr const char* kEpisodeTitle = "Quendrel";
inline constexpr const char* kHintRow = "If you are stuck just type HELP.";

// ---------------------------------------------------------------- places

inline constexpr const char* kSeat1[2] = {
    "You sit in your own seat. There is little to see from here.",
    "The window shows only darkness, and now and then the blink of a wing light.",
};
inline constexpr const char* kAisle2 = "You are standing in the aisle.";
inline constexpr const char* kEmptySeat3[2] = {
    "An empty seat. Far below the window you can make out the lights of",
    "farm houses, scattered across the middle of nowhere.",
};
inline constexpr const char* kAisle4 =
    "You stand in the aisle and feel the plane shake gently beneath your feet.";
inline constexpr const char* kHankSeat5 = "HANK sits in his seat, fear written all over his face.";
inline constexpr const char* kEmptySeat6 = "An empty seat.";
inline constexpr const char* kCockpit7[2] = {
    "You stand before the cockpit door. A stewardess steps into your way:",
    "\"You can't go in there. Please, go back to solving the crime.\"",
};
inline constexpr const char* kAisle8 = "You stand in the aisle. There is nothing much to see here.";
inline constexpr const char* kFranSeat9 = "FRAN sits here, looking tired and scared.";
inline constexpr const char* kDocSeat10 = "DOC sits alone, going over her notes.";
inline constexpr const char* kPlaneEnd11 = "You stand at the end of the plane.";
inline constexpr const char* kRestRoom12[3] = {
    "A filthy rest room. The smell is foul enough to make your eyes water,",
    "and the lock on the door has been broken.",
    "The body of ROBERT lies on the floor in a pool of blood.",
};

// ---------------------------------------------------------------- people

inline constexpr const char* kKnife[2] = {
    "The murder weapon: a small knife, the kind you could hide in a sleeve.",
    "It was used to kill the victim, and his blood is still wet on the blade.",
};
inline constexpr const char* kRobert[3] = {
    "ROBERT is an older man, his hair thinning, a look of terror frozen on",
    "his face. You wonder how a man could be murdered a few rows from the",
    "others without making a single sound.",
};
inline constexpr const char* kFran[2] = {
    "FRAN is a young woman in her mid-twenties with short black hair. She",
    "wears a sweater of the university she attends, sleeves pulled over her hands.",
};
inline constexpr const char* kTalkToFran = "TALK TO FRAN";
inline constexpr const char* kAskAboutVictim = "ASK ABOUT VICTIM";
inline constexpr const char* kFranAccount[3] = {
    "\"I... I don't know what happened,\" she stammers. \"He was sitting",
    "there reading, I saw him when I went by. And the next time I looked",
    "he had a knife in his neck.\"",
};
inline constexpr const char* kFranOnVictim =
    "\"He was quiet. Every now and then he stared at me, that's all.\"";
inline constexpr const char* kHank[2] = {
    "HANK is an older man, the kind who sells used cars from a shady lot,",
    "though at least he spared himself the tacky suit.",
};
inline constexpr const char* kTalkToHank = "TALK TO HANK";
inline constexpr const char* kHankAccount[2] = {
    "\"I didn't see a thing! I don't know what happened back there.\"",
    "He wipes his forehead. \"And I didn't do it, you hear me? It wasn't me!\"",
};
inline constexpr const char* kDoc[2] = {
    "DOC is an older woman, dressed for a conference in a grey suit. She",
    "is taking notes from a small voice recorder and barely looks up.",
};
inline constexpr const char* kTalkToDoc = "TALK TO DOC";
inline constexpr const char* kDocAccount[3] = {
    "\"I noticed the man sitting there reading when the lights went out.",
    "When they came back on, he was dead. Earlier I saw him arguing with",
    "a woman, I think, but I really wasn't paying attention.\"",
};

// ---------------------------------------------------------------- endings

inline constexpr const char* kWinFirst[5] = {
    "The plane lands with a bump on the wet runway. You walk off beside the",
    "Doc, who goes quietly into the hands of the law. The others rush off in",
    "fear, glad to be anywhere but that cabin. The police board the plane to",
    "collect evidence and take their photographs. As for you, you decide to",
    "take the train home after the conference.",
};
inline constexpr const char* kWinSecond[4] = {
    "Outside, the Doc is handcuffed and put into the back of a police car.",
    "You need to clear your head before the conference begins. Across the",
    "concourse you spot a small coffee stand and head straight for a cup,",
    "delighted that some things in life are still simple.",
};
inline constexpr const char* kWinThird[2] = {
    "Now to think about what the conference will bring. But first, to find",
    "a dry cleaner for this coat, and a quiet place to rest.",
};
inline constexpr const char* kTrain[2] = {
    "The conference is over. As you board the train home, a porter hurries",
    "along the platform and presses a telegram into your hand.",
};
inline constexpr const char* kTelegram[4] = {
    "  \"FAMILY FORTUNE STOLEN OVERNIGHT STOP POLICE USELESS STOP",
    "   SHORT NOTICE SO YOUR FEE IS DOUBLED STOP A CAR WILL FETCH YOU",
    "   FROM YOUR OFFICE IN THREE DAYS STOP COME ALONE STOP",
    "   - M. VANTERPOOL\"",
};
inline constexpr const char* kNextCase = "Another thrilling case of the Tallowby series is on its way...";
inline constexpr const char* kNextEpisode = "Tallowby Episode 11: Morvast";

inline constexpr const char* kFailFirst =
    "You find yourself at the gate as the police take the case out of your hands.";
inline constexpr const char* kFailSecond =
    "You have failed as a detective. Congratulations, truly a master of the craft.";

}  // namespace quendrel::story
