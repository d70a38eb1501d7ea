// The verify class the launcher runs on a candidate JVM. It prints the magic line the launcher
// looks for, then the value of each system property named on the command line, one per line and
// in order; an unset property prints an empty line. Kept in the default package and free of any
// newer API so that every JVM worth finding can run it.
public class Verify {
    private static final String MAGIC = "1739021872";

    public static void main(String[] args) {
        StringBuilder out = new StringBuilder();
        out.append(MAGIC).append('\n');
        for (int i = 0; i < args.length; i++) {
            String value = System.getProperty(args[i]);
            out.append(value == null ? "" : value).append('\n');
        }
        System.out.print(out.toString());
        System.out.flush();
    }
}
