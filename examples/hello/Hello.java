// The demo application: greets, names the Java version it runs on and echoes its arguments,
// each between angle brackets so that blanks and quotes show exactly as they arrived.
public class Hello {
    public static void main(String[] args) {
        System.out.println("Hello from a qvlauncher launcher!");
        System.out.println("java.version: " + System.getProperty("java.version"));
        System.out.println("arguments: " + args.length);
        for (int i = 0; i < args.length; i++) {
            System.out.println("  [" + i + "] <" + args[i] + ">");
        }
    }
}
